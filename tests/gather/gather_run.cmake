tallyard_test(gather_run_test
  ${CMAKE_CURRENT_LIST_DIR}/gather_run_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/store/backends.cpp
  LIBS tallyard_gather corvane_resources tallyard_store tallyard_platform)

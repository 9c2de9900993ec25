tallyard_test(platform_errors_test
  ${CMAKE_CURRENT_LIST_DIR}/errors_test.cpp
  LIBS tallyard_platform)

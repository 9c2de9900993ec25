tallyard_test(platform_time_test
  ${CMAKE_CURRENT_LIST_DIR}/time_test.cpp
  LIBS tallyard_platform)

tallyard_test(platform_core_test
  ${CMAKE_CURRENT_LIST_DIR}/paths_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_info_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/threads_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/processes_test.cpp
  LIBS tallyard_platform)

tallyard_test(gather_event_time_test
  ${CMAKE_CURRENT_LIST_DIR}/event_time_test.cpp
  LIBS tallyard_gather tallyard_platform)

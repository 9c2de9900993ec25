tallyard_test(gather_event_row_test
  ${CMAKE_CURRENT_LIST_DIR}/event_row_test.cpp
  LIBS tallyard_gather tallyard_platform)

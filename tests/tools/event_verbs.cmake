tallyard_test(tools_event_verbs_test
  ${CMAKE_CURRENT_LIST_DIR}/event_verbs_test.cpp
  LIBS tallyard_gather tallyard_frame tallyard_platform)
add_dependencies(tools_event_verbs_test hostkit)

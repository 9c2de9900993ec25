tallyard_test(frame_core_test
  ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/computer_list_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_log_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
  LIBS tallyard_frame corvane_resources praxon_resources)

tallyard_test(tools_msgdll_test
  ${CMAKE_CURRENT_LIST_DIR}/msgdll_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/hostkit/message_text_file.cpp
  LIBS tallyard_platform)
add_dependencies(tools_msgdll_test hostkit)

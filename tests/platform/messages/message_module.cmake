tallyard_test(platform_message_module_test
  ${CMAKE_CURRENT_LIST_DIR}/message_module_test.cpp
  LIBS tallyard_platform)

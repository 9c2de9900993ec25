tallyard_test(tools_lab_test
  ${CMAKE_CURRENT_LIST_DIR}/lab_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/hostkit/lab_description.cpp
  ${PROJECT_SOURCE_DIR}/tools/hostkit/event_fields.cpp
  LIBS tallyard_platform)
add_dependencies(tools_lab_test hostkit)

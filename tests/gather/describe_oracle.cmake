tallyard_test(gather_describe_oracle_test
  ${CMAKE_CURRENT_LIST_DIR}/describe_oracle_test.cpp
  LIBS tallyard_platform)
add_dependencies(gather_describe_oracle_test hostkit)

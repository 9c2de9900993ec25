# tallyard-setup's default database and --data-source, run as the program it is.
tallyard_test(setup_data_source_test
  ${CMAKE_CURRENT_LIST_DIR}/setup_data_source_test.cpp
  LIBS tallyard_store)
add_dependencies(setup_data_source_test tallyard-setup)

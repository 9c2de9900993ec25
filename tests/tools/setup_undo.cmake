# tallyard-setup refused or failing half-way, run as the program it is.
tallyard_test(setup_undo_test ${CMAKE_CURRENT_LIST_DIR}/setup_undo_test.cpp LIBS tallyard_frame tallyard_platform)
add_dependencies(setup_undo_test tallyard-setup)

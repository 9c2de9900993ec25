# tallyard-setup copied out of the build into an installation's layout, run as the program it is.
tallyard_test(setup_layout_test ${CMAKE_CURRENT_LIST_DIR}/setup_layout_test.cpp LIBS tallyard_platform)
add_dependencies(setup_layout_test tallyard-setup sourcewarden)

# --help and --version of every program and tool, run as the programs they are.
tallyard_test(command_line_test ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp LIBS tallyard_platform)
target_compile_definitions(command_line_test PRIVATE TALLYARD_VERSION="${PROJECT_VERSION}")
add_dependencies(command_line_test corvane praxon sourcewarden tallyard-setup hostkit)

tallyard_test(programs_start_test ${CMAKE_CURRENT_LIST_DIR}/start_test.cpp LIBS tallyard_platform)
add_dependencies(programs_start_test corvane praxon)

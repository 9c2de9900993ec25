# hostkit policy, run as the program it is.
tallyard_test(hostkit_policy_test ${CMAKE_CURRENT_LIST_DIR}/hostkit_policy_test.cpp LIBS tallyard_platform)
add_dependencies(hostkit_policy_test hostkit)

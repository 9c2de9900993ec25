# tallyard-setup (also copied out of the build into an installation's layout) and hostkit's create
# and reg verbs, run as the programs they are.
tallyard_test(setup_test
  ${CMAKE_CURRENT_LIST_DIR}/setup_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostkit_reg_test.cpp
  LIBS tallyard_frame tallyard_platform)
add_dependencies(setup_test tallyard-setup sourcewarden hostkit)

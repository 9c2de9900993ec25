# The settings store of both programs over the local computer's registry.
tallyard_test(settings_test ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp LIBS tallyard_frame tallyard_platform)

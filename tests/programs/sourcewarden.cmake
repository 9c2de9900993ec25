# Sourcewarden's windows driven by Qt Test, offscreen, against a private ODBC configuration and
# the test servers that scripts/services starts.
tallyard_ui_test(sourcewarden_test ${CMAKE_CURRENT_LIST_DIR}/sourcewarden_test.cpp LIBS sourcewarden_windows)
add_dependencies(sourcewarden_test sourcewarden)

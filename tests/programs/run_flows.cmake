# Both programs' Go on their own windows, headless, over an image network and the SQLite data
# source; Corvane starting the install folder's data-source manager.
tallyard_ui_test(programs_run_flows_test ${CMAKE_CURRENT_LIST_DIR}/run_flows_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/store/backends.cpp
  LIBS corvane_window praxon_window sourcewarden_windows)
add_dependencies(programs_run_flows_test sourcewarden hostkit)

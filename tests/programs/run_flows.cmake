# Both programs' Go on their own windows, headless, over an image network and the SQLite data source.
tallyard_ui_test(programs_run_flows_test ${CMAKE_CURRENT_LIST_DIR}/run_flows_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/store/backends.cpp
  LIBS corvane_window praxon_window)

# The frame's windows, headless.
tallyard_ui_test(frame_desktop_test ${CMAKE_CURRENT_LIST_DIR}/desktop_test.cpp
  LIBS tallyard_frame_ui tallyard_browse_ui corvane_resources praxon_resources)

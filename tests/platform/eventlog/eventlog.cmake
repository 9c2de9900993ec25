tallyard_test(eventlog_test ${CMAKE_CURRENT_LIST_DIR}/eventlog_test.cpp LIBS tallyard_platform)
tallyard_test(eventlog_interrupted_test ${CMAKE_CURRENT_LIST_DIR}/interrupted_append_test.cpp LIBS tallyard_platform)

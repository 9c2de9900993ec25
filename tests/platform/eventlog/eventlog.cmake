tallyard_test(eventlog_test ${CMAKE_CURRENT_LIST_DIR}/eventlog_test.cpp LIBS tallyard_platform)

tallyard_test(browse_test browse_test.cpp LIBS tallyard_browse)

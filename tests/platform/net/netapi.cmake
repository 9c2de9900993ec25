tallyard_test(netapi_test ${CMAKE_CURRENT_LIST_DIR}/netapi_test.cpp LIBS tallyard_platform)

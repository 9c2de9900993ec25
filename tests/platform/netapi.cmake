tallyard_test(netapi_test netapi_test.cpp LIBS tallyard_platform)

tallyard_test(platform_odbc_test ${CMAKE_CURRENT_LIST_DIR}/odbc_ini_test.cpp LIBS tallyard_platform)

tallyard_test(platform_lsa_test ${CMAKE_CURRENT_LIST_DIR}/lsa_test.cpp LIBS tallyard_platform)

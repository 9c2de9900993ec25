tallyard_test(platform_accounts_test
  ${CMAKE_CURRENT_LIST_DIR}/accounts_test.cpp
  LIBS tallyard_platform)

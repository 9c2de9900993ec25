tallyard_test(gather_reader_test
  ${CMAKE_CURRENT_LIST_DIR}/reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resolver_test.cpp
  LIBS tallyard_gather tallyard_frame tallyard_platform)

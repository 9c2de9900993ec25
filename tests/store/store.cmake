tallyard_test(store_event_test
  ${CMAKE_CURRENT_LIST_DIR}/event_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backends.cpp
  LIBS tallyard_store)

tallyard_test(store_event_test
  ${CMAKE_CURRENT_LIST_DIR}/event_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backends.cpp
  LIBS tallyard_store)
tallyard_test(store_data_source_test
  ${CMAKE_CURRENT_LIST_DIR}/data_source_test.cpp
  LIBS tallyard_store)
tallyard_test(store_data_source_manager_test
  ${CMAKE_CURRENT_LIST_DIR}/data_source_manager_test.cpp
  LIBS tallyard_store)
tallyard_ui_test(store_settings_dialog_test
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_test.cpp
  LIBS tallyard_store_ui corvane_resources)

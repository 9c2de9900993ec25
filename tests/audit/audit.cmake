tallyard_ui_test(audit_policy_dialog_test ${CMAKE_CURRENT_LIST_DIR}/audit_policy_dialog_test.cpp
  LIBS tallyard_audit_ui)

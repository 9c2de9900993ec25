# The audit policy model over computer images, and the audit run driven without a window.
tallyard_test(audit_test
  ${CMAKE_CURRENT_LIST_DIR}/audit_policy_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audit_run_test.cpp
  LIBS tallyard_audit praxon_resources)
add_dependencies(audit_test hostkit)
tallyard_ui_test(audit_policy_dialog_test ${CMAKE_CURRENT_LIST_DIR}/audit_policy_dialog_test.cpp
  LIBS tallyard_audit_ui)

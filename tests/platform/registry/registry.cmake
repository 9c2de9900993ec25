# The registry: hive files (our empty-hive writer, locked commits), the Reg* calls over images.
tallyard_test(registry_test
  ${CMAKE_CURRENT_LIST_DIR}/hive_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
  LIBS tallyard_platform)

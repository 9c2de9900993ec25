# Whole-file replacement and regular-file opening, on the real file system.
tallyard_test(platform_files_test ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp LIBS tallyard_platform)

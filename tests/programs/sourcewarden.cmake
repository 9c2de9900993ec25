# Sourcewarden's windows driven by Qt Test, offscreen, against a private ODBC configuration and
# the test servers that scripts/services starts. The test makes its own QApplication, so it
# brings its own main().
add_executable(sourcewarden_test ${CMAKE_CURRENT_LIST_DIR}/sourcewarden_test.cpp)
target_link_libraries(sourcewarden_test PRIVATE sourcewarden_windows Qt6::Test GTest::gtest Threads::Threads)
target_include_directories(sourcewarden_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(sourcewarden_test PRIVATE TALLYARD_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                           TALLYARD_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(sourcewarden_test sourcewarden)
gtest_discover_tests(sourcewarden_test DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;QT_QPA_PLATFORM=offscreen")

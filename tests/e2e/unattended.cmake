tallyard_test(programs_unattended_test ${CMAKE_CURRENT_LIST_DIR}/unattended_test.cpp LIBS tallyard_platform)
add_dependencies(programs_unattended_test corvane hostkit tallyard-setup)
# The killed-run tests gather at least 50,000 records; the sanitizer build, several times
# slower, gathers 6,000 (TALLYARD_RELIABILITY_RECORDS in the environment sets any other size).
if(TALLYARD_SANITIZE)
  target_compile_definitions(programs_unattended_test PRIVATE TALLYARD_RELIABILITY_DEFAULT=6000)
else()
  target_compile_definitions(programs_unattended_test PRIVATE TALLYARD_RELIABILITY_DEFAULT=50400)
endif()

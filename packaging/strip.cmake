# Run by CPack on its staging folder before it packs: the programs without their symbols and
# without the .comment and .note sections, as dh_strip leaves them.
find_program(STRIP_PROGRAM strip REQUIRED)
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program ${programs})
  execute_process(COMMAND ${STRIP_PROGRAM} --remove-section=.comment --remove-section=.note --strip-unneeded
                          ${program}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot strip ${program}")
  endif()
endforeach()

# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack before it packs: drops the compiler's .comment section from the stripped
# programs, as Debian's own packaging tools do; it only names the compiler versions.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_RELABO_OBJCOPY} --remove-section=.comment ${program}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${program}")
  endif()
endforeach()

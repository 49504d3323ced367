# Run by CPack on the files it is about to pack: strips the program as
# Debian's own packaging does, together with the compiler's notes that a
# plain strip leaves in.
file(GLOB_RECURSE programs LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/libexec/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_VELMORA_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

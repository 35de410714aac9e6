# Run by cpack after it has installed the files into its staging directory
# and before it makes the Debian package: what Debian asks of a package and
# a plain install does not need. The programs without the sections a stripped
# Debian binary leaves out (.comment, the compilers' names, and .note), manual
# pages compressed with gzip -9n, the copyright file and the Debian changelog
# in /usr/share/doc/orva-utility.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT root OR NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB programs "${root}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_ORVA_OBJCOPY}" --remove-section=.comment --remove-section=.note "${program}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objcopy --remove-section=.comment ${program} failed")
  endif()
endforeach()
file(GLOB pages "${root}/usr/share/man/man*/*.[0-9]")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9n "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${page} failed")
  endif()
endforeach()
set(doc "${root}/usr/share/doc/orva-utility")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_ORVA_PACKAGING_DIR}/copyright" DESTINATION "${doc}")
file(COPY "${CPACK_ORVA_CHANGELOG}" DESTINATION "${doc}")
execute_process(COMMAND gzip -9n "${doc}/changelog.Debian" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip -9n ${doc}/changelog.Debian failed")
endif()
file(CHMOD_RECURSE "${doc}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

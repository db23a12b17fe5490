# Run by CPack on the staged package before it is packed (CPACK_PRE_BUILD_SCRIPTS):
# writes the changelog Debian asks of a package, dated SOURCE_DATE_EPOCH as
# the package's files are, and gzips it and the manual with -9n (no name, no
# time: the bytes repeat).
set(staged ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT EXISTS ${staged}/bin/vexlo-cli)
  message(FATAL_ERROR "deb-finish: nothing staged in ${staged}")
endif()
string(TIMESTAMP VEXLO_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${VEXLO_SOURCE_DIR}/cli/changelog.in ${staged}/share/doc/vexlo-cli/changelog @ONLY)
foreach(file share/doc/vexlo-cli/changelog share/man/man1/vexlo-cli.1)
  execute_process(COMMAND gzip -9nf ${staged}/${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "deb-finish: gzip ${file} failed")
  endif()
endforeach()

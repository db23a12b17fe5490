# vexlo-cli installed on Linux: `cmake --install` (`make install
# PREFIX=...`) puts the program, its manual, its bash completion and the
# README under the prefix; `make deb` (scripts/deb.py) packs the same files
# with CPack into dist/vexlo-cli_VERSION_ARCH.deb.
include(GNUInstallDirs)

# Installing and packing take what is built; they build nothing themselves
# (the scripts build vexlo-cli first), so a package never waits for the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VEXLO_CLI_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vexlo-cli)
configure_file(${PROJECT_SOURCE_DIR}/cli/vexlo-cli.1 ${CMAKE_BINARY_DIR}/vexlo-cli.1 @ONLY)
install(TARGETS vexlo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/vexlo-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/cli/vexlo-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME vexlo-cli)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cli/copyright DESTINATION ${VEXLO_CLI_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexlo-cli)
set(CPACK_PACKAGE_VERSION ${VEXLO_VERSION_TEXT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extract the data hidden after the end of a PNG image")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "vexlo-cli walks a PNG file's chunks to IEND and writes every byte after it,
unchanged, into a new file beside the source, named after it with an
extension sniffed from the data. It reports what the hidden data is, walks
folders, writes JSON Lines, handles files of any size in bounded memory and
rebuilds the rows of a picture that a cropping tool wrote over.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# No address is published yet; a packager sets theirs.
set(VEXLO_DEB_MAINTAINER "vexlo developers <vexlo@example.org>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VEXLO_DEB_MAINTAINER})
# The libraries vexlo-cli links, as the installed system names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The changelog, and the manual compressed, as Debian has them (cmake --install
# leaves the manual plain).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb-finish.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackVexlo.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(VEXLO_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")\n")
include(CPack)

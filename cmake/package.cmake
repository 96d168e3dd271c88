# Installation of the manual page, and the Debian package built by cpack
# (`make package`). Included from the top-level CMakeLists.txt.

# The manual page is installed compressed, as Debian does; gzip -n keeps
# the file name and time stamp out, so the output depends only on the page.
set(HUSK_MANPAGE_GZ ${CMAKE_CURRENT_BINARY_DIR}/husk.1.gz)
add_custom_command(
  OUTPUT ${HUSK_MANPAGE_GZ}
  COMMAND gzip -9 -n -c ${CMAKE_CURRENT_SOURCE_DIR}/doc/husk.1 > ${HUSK_MANPAGE_GZ}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/doc/husk.1
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(husk_manpage ALL DEPENDS ${HUSK_MANPAGE_GZ})
install(FILES ${HUSK_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(HUSK_MAINTAINER "husk maintainers <husk-maintainers@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME husk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${HUSK_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, exact and fast command shell")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${HUSK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION shells)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line of the control field is the summary above; cpack indents
# these lines and marks the empty one as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"husk reads command lines from a terminal or a script and runs them:
programs found in the search path, connected by pipes, redirected to
and from files, run in sequence, in the background or on the success or
failure of the command before. Its only built-in command is cd.

It has no variables, no globbing, no comments and no job control: what
is typed is what runs. With -s it prints how each line is split into
words and operators instead of running it.")
# Library dependencies are read from the binary by dpkg-shlibdeps and added
# to the ones named here; add-shell and remove-shell come from debianutils.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS debianutils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

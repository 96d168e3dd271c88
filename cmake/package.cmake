# Installation of the manual page and the documentation, and the Debian
# package built by cpack (`make package`). Included from the top-level
# CMakeLists.txt.

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

# The documentation directory of a Debian package: the copyright file, made
# from LICENSE in the machine-readable format, and the changelog, compressed
# like the manual page. A plain `make install` writes both as well, so that
# every copy carries its licence.
set(HUSK_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(HUSK_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${HUSK_LICENSE} ${HUSK_CHANGELOG})

file(READ ${HUSK_LICENSE} license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER'")
endif()
set(copyright_holder ${CMAKE_MATCH_1})
# The licence text proper starts after the copyright line; in the copyright
# file each of its lines is indented by one space and an empty line is " .".
string(FIND "${license}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "LICENSE does not hold the MIT permission notice")
endif()
string(SUBSTRING "${license}" ${start} -1 license)
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
set(HUSK_COPYRIGHT ${CMAKE_CURRENT_BINARY_DIR}/copyright)
file(CONFIGURE OUTPUT ${HUSK_COPYRIGHT} @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: husk

Files: *
Copyright: @copyright_holder@
License: MIT
 @license@
")

set(HUSK_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${HUSK_CHANGELOG_GZ}
  COMMAND gzip -9 -n -c ${HUSK_CHANGELOG} > ${HUSK_CHANGELOG_GZ}
  DEPENDS ${HUSK_CHANGELOG}
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(husk_changelog ALL DEPENDS ${HUSK_CHANGELOG_GZ})
install(FILES ${HUSK_COPYRIGHT} ${HUSK_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The maintainer is whoever signed the latest changelog entry (the project's
# own address), unless HUSK_MAINTAINER names someone else.
set(HUSK_MAINTAINER "" CACHE STRING
    "Maintainer field of the Debian package (empty: the signer of the latest changelog entry)")
set(maintainer "${HUSK_MAINTAINER}")
if(maintainer STREQUAL "")
  file(STRINGS ${HUSK_CHANGELOG} signatures REGEX "^ -- .+>  ")
  if(NOT signatures)
    message(FATAL_ERROR "packaging/changelog has no signed entry (' -- Name <mail>  date')")
  endif()
  list(GET signatures 0 signature)
  string(REGEX REPLACE "^ -- (.+>)  .*" "\\1" maintainer "${signature}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME husk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, exact and fast command shell")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${maintainer})
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
# The dependencies are the libraries dpkg-shlibdeps reads from the binary.
# add-shell and remove-shell, which the maintainer scripts run, come from
# debianutils: an essential package, always there, and with both commands
# in every release husk builds on, so it is not named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# The Debian package (cpack -G DEB; scripts/package.sh builds it and runs
# lintian): one package "velklk" with the command, the shared libraries, the
# headers, the CMake and pkg-config files, the demo fixture and the docs. Its
# dependencies are computed by dpkg-shlibdeps.
set(VELKLK_MAINTAINER "velKLK maintainers <maintainers@users.noreply.c-seed-06cd8c15.example>"
    CACHE STRING "Maintainer of the Debian package")

# Debian wants a copyright file and the package's changelog in the
# documentation folder, and the manual page; the last two compressed.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(velklk_changelog ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
set(velklk_manpage ${PROJECT_BINARY_DIR}/velklk.1.gz)
add_custom_command(OUTPUT ${velklk_changelog}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${velklk_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_command(OUTPUT ${velklk_manpage}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/velklk.1 > ${velklk_manpage}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/velklk.1)
add_custom_target(velklk_package_files ALL DEPENDS ${velklk_changelog} ${velklk_manpage})
install(FILES ${velklk_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${velklk_manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME velklk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELKLK_MAINTAINER}")
set(CPACK_PACKAGE_VENDOR "velKLK")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CRM add-in keeping CRM records and Outlook in step")
set(CPACK_PACKAGE_DESCRIPTION
"velKLK is an add-in of the Velmora CRM that keeps the CRM's addresses,
contact persons, activities and tasks and Outlook's contacts, appointments
and tasks in step.
.
This package holds the add-in and its embedded platforms (a CRM host on
SQLite, an Outlook store, console and recording user interfaces) as shared
libraries, their headers with a CMake package and pkg-config files for
hosts, and the velklk command, which plays the host on the embedded
platforms.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libvelklk_embedded needs libvelklk of the same package: dpkg-shlibdeps runs
# in the package's folder and finds it there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ".${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")
# The shlibs file and the ldconfig trigger of a package with shared libraries.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Debian runs ldconfig through its trigger (CPack's scripts call it as well).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A host that builds against the embedded platforms' headers needs these.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "g++, cmake, pkg-config, nlohmann-json3-dev")
include(CPack)

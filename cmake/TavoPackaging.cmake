# What the Debian package holds beyond the programs, and how CPack builds it:
#   cpack -G DEB   (in the build folder; scripts/package.sh does it all)
include(${CMAKE_CURRENT_LIST_DIR}/TavoInstall.cmake)

set(TAVO_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
tavo_gzip(${PROJECT_SOURCE_DIR}/docs/man/tavo.1 ${TAVO_PACKAGE_FILES}/tavo.1.gz)
tavo_gzip(${PROJECT_SOURCE_DIR}/docs/man/tavo-utility.1 ${TAVO_PACKAGE_FILES}/tavo-utility.1.gz)
tavo_gzip(${PROJECT_SOURCE_DIR}/docs/package/changelog ${TAVO_PACKAGE_FILES}/changelog.gz)
tavo_install_files(DESTINATION share/man/man1
                   FILES ${TAVO_PACKAGE_FILES}/tavo.1.gz ${TAVO_PACKAGE_FILES}/tavo-utility.1.gz)
tavo_install_files(DESTINATION share/doc/tavo-utility
                   FILES ${PROJECT_SOURCE_DIR}/docs/package/copyright ${TAVO_PACKAGE_FILES}/changelog.gz)
# The loader folder the rack download searches first; the images come from the
# module maker, so the package ships only the note that says which.
tavo_install_files(DESTINATION share/tavo-utility/loader
                   FILES ${PROJECT_SOURCE_DIR}/docs/package/loader-README RENAME README)

# tavo gateway as a service: the unit template, its system user (created by the
# postinst through systemd-sysusers) and an example configuration.
tavo_install_files(DESTINATION lib/systemd/system FILES ${PROJECT_SOURCE_DIR}/docs/package/tavo-gateway@.service)
tavo_install_files(DESTINATION lib/sysusers.d FILES ${PROJECT_SOURCE_DIR}/docs/package/tavo-gateway.sysusers
                   RENAME tavo-gateway.conf)
tavo_install_files(DESTINATION share/doc/tavo-utility/examples FILES ${PROJECT_SOURCE_DIR}/docs/package/gateway.yaml)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/docs/package/postinst)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavo-utility)
set(CPACK_PACKAGE_VERSION ${TAVO_PROGRAM_VERSION})
set(CPACK_PACKAGE_VENDOR "TAVO Utility developers")
set(CPACK_PACKAGE_CONTACT "TAVO Utility developers <tavo-utility@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and monitor TAVO RS-485 remote I/O modules")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tavo-utility_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from what the programs really link (dpkg-shlibdeps), not typed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description under the summary line; CPack indents it and marks the
# empty line as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The TAVO Utility finds the TAVO remote data-acquisition and control modules
on an RS-485 line, reads and changes their settings, polls their values,
drives their outputs, calibrates them and loads their firmware. It speaks
the modules' ASCII command protocol and Modbus RTU.

The package holds the desktop program tavo-utility, the command-line tool
tavo, a module simulator (tavo sim) that serves a simulated bus on a
pseudo-terminal, and tavo gateway, a service (tavo-gateway@.service) that
publishes the modules' values on an MQTT broker with Home Assistant discovery
and takes commands for their outputs.")
include(CPack)

# Installation under /usr and a Debian package of it:
#   cmake --build build --target package    ->  build/bmshost_<version>_<arch>.deb
include(GNUInstallDirs)

install(TARGETS bmshost bmstool bms-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/dist/bmshost.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/bmshost.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Example units for bmstool as an MQTT service and as a monitoring service.
install(FILES ${PROJECT_SOURCE_DIR}/dist/bmstool-mqtt.service ${PROJECT_SOURCE_DIR}/dist/bmstool-monitoring.service
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/bmshost/examples)
# Prometheus alerting rules, referenced from prometheus.yml where they lie:
# under /usr/share/bmshost rather than doc/, which minimal systems leave out.
install(FILES ${PROJECT_SOURCE_DIR}/dist/prometheus/bms-alerts.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bmshost/prometheus)

# bmstool's manual page, written from its own help texts.
set(bms_man_page ${PROJECT_BINARY_DIR}/man/bmstool.1.gz)
add_custom_command(OUTPUT ${bms_man_page}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:bmstool> -DVERSION=${PROJECT_VERSION}
            -DOUT=${PROJECT_BINARY_DIR}/man/bmstool.1 -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS bmstool ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Writing bmstool's manual page")
add_custom_target(bmstool_man ALL DEPENDS ${bms_man_page})
install(FILES ${bms_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bmshost)
set(CPACK_PACKAGE_VENDOR "BMS Host")
set(CPACK_PACKAGE_CONTACT "BMS Host developers <bmshost@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host tool for lithium battery packs on an RS485 bus")
set(CPACK_PACKAGE_DESCRIPTION
    "Watches the live state of up to 16 battery packs, logs it to CSV, reads and writes their
protection parameters and stored records, and runs maintenance commands. Contains the window
(bmshost), a command-line tool (bmstool) and a pack simulator (bms-sim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The shared libraries come from dpkg-shlibdeps; Qt's platform plugins and
# the font for the Chinese texts are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
include(CPack)

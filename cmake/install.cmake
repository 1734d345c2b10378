# What `cmake --install` and the Debian package hold: the program, its
# desktop entry and icons, the udev rule that gives the logged-in user the
# bridge, and the manual page.
include(GNUInstallDirs)

install(TARGETS eb2250-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/desktop/eb2250-gui.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/desktop/eb2250-gui.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT program)
foreach(side 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_BINARY_DIR}/icons/${side}x${side}/eb2250-gui.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps COMPONENT program)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/eb2250-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT program)
# udev reads rules from <prefix>/lib/udev/rules.d (/usr/lib/udev/rules.d in the package).
set(EB_UDEV_RULE ${PROJECT_SOURCE_DIR}/packaging/udev/60-eb2250-bridge.rules)
if(EXISTS ${EB_UDEV_RULE})
  install(FILES ${EB_UDEV_RULE} DESTINATION lib/udev/rules.d COMPONENT program)
endif()

# Debian package: `cpack -G DEB` in the build tree (scripts/package.sh).
set(CPACK_PACKAGE_NAME eb2250-gui)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "EB2250 evaluation software <eb2250@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "evaluation window for stacks of ZQM4417-2 battery-monitor boards")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Identifies the monitor chip behind a UB774B USB-to-SPI bridge, writes and reads
each board's configuration, reads cells, flags and temperatures with CRC-8 PEC
checking and retry, shows the status of the whole stack, runs the chip's self
tests, reads all boards continuously and records datalogs to spreadsheets. A
built-in simulated stack serves demos and tests.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the program links come from dpkg-shlibdeps; the fonts it is
# drawn in are data, named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_GENERATOR DEB)
include(CPack)

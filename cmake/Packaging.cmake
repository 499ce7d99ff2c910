# Installation layout and the Debian package of the app. The simulated
# service and the test programs are not installed.
include(GNUInstallDirs)

install(TARGETS vantrelvpn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/vantrelvpn.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/com.vantrel.VantrelVPN.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrelvpn)
install(FILES art/icon.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME vantrelvpn.svg)

# Theme icons at the standard sizes, rendered from the vector source.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(_icon_pngs)
foreach(size 16 22 24 32 48 64 128 256 512)
    set(_png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}/vantrelvpn.png)
    add_custom_command(OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${CMAKE_CURRENT_SOURCE_DIR}/art/icon.svg -o ${_png}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/art/icon.svg
        VERBATIM)
    list(APPEND _icon_pngs ${_png})
    install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(theme_icons ALL DEPENDS ${_icon_pngs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrelvpn)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "Vantrel <support@vantrel.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VantrelVPN desktop client")
set(CPACK_PACKAGE_DESCRIPTION "Tray-resident desktop client for the VantrelVPN service: browser sign-in,\n one-click connect, live session figures, weekly statistics and settings.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantrel.com/")
# Shared libraries come from dpkg-shlibdeps; what is loaded at run time
# (QML modules, the SQLite driver, the symbol font) is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qml6-module-qtqml, qml6-module-qtqml-workerscript, qml6-module-qtquick, qml6-module-qtquick-window, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qt5compat-graphicaleffects, fonts-noto-core | fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
include(CPack)

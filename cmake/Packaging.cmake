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

# The manual page, written in scdoc, and the changelog, both compressed the
# way Debian ships them: maximum compression, no name or time stamp.
find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)
set(_manpage ${CMAKE_CURRENT_BINARY_DIR}/man/vantrelvpn.1.gz)
set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${_manpage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\""
        ${SCDOC} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/vantrelvpn.1.scd ${CMAKE_CURRENT_BINARY_DIR}/man/vantrelvpn.1
    COMMAND ${GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/man/vantrelvpn.1
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/vantrelvpn.1.scd
    VERBATIM)
add_custom_command(OUTPUT ${_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/doc
    COMMAND sh -c "\"$0\" -9n < \"$1\" > \"$2\""
        ${GZIP} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog ${_changelog}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${_manpage} ${_changelog})
install(FILES ${_manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrelvpn)
# lintian's overrides, each with its reason (scripts/package-lint.sh).
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/lintian-overrides)
    install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vantrelvpn)
endif()

# The package version comes from the project; the changelog's latest entry
# has to name the same one.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/changelog)
file(STRINGS packaging/changelog _latest_entry LIMIT_COUNT 1)
string(REPLACE "." "\\." _version_pattern ${PROJECT_VERSION})
if(NOT _latest_entry MATCHES "^vantrelvpn \\(${_version_pattern}\\) ")
    message(FATAL_ERROR "packaging/changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()

# The package is built on the Debian release it is for: its run-time
# dependencies differ by release, and its version carries the release
# (0.5.12~deb12, 0.5.12~deb13; the later release's sorts higher, so an
# upgrade of the system upgrades the package too).
file(STRINGS /etc/os-release _os_release REGEX "^(ID|VERSION_ID)=")
set(_debian_release "")
if(_os_release MATCHES "ID=\"?debian\"?" AND _os_release MATCHES "VERSION_ID=\"?([0-9]+)\"?")
    set(_debian_release ${CMAKE_MATCH_1})
endif()
if(_debian_release STREQUAL "12")
    # Debian 12 ships the SVG image and icon-engine plugins with the library.
    set(_svg_plugins libqt6svg6)
elseif(_debian_release STREQUAL "13")
    set(_svg_plugins qt6-svg-plugins)
else()
    message(STATUS "Debian package: not Debian 12 or 13 (\"${_os_release}\"); the package names Debian 13's plugins")
    set(_svg_plugins qt6-svg-plugins)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrelvpn)
if(_debian_release)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}~deb${_debian_release})
endif()
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "Vantrel <support@vantrel.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for the VantrelVPN service")
# The long description; CPack indents its lines and turns the empty one into
# the paragraph break dpkg expects.
set(CPACK_PACKAGE_DESCRIPTION "A tray-resident application to sign in to VantrelVPN through the web
browser, connect and disconnect the tunnel with one click, watch the live
session figures (traffic, speed, latency), look back over a week of usage
statistics and change the settings: theme, language, split tunnelling,
gaming mode and tunnel protocol.

The client does not build the tunnel itself: it needs the VantrelVPN
service, a separate privileged program, installed and running on the same
machine, and talks to it over a local socket.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantrel.com/")
# Shared libraries come from dpkg-shlibdeps; what is loaded at run time
# (QML modules, the SQLite driver, the SVG image plugin, the symbol font) is
# named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, ${_svg_plugins}, qml6-module-qtqml, qml6-module-qtqml-workerscript, qml6-module-qtquick, qml6-module-qtquick-window, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qt5compat-graphicaleffects, fonts-noto-core | fonts-dejavu-core")
# Native Wayland sessions need Qt's Wayland platform plugin; without it the
# app runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)

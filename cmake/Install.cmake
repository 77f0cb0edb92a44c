# Installs like a desktop program: the executable and the command-line tool in bin/, a
# desktop entry and the icon in the hicolor theme at 16, 32 and 48 pixels; `cpack -G DEB`
# builds a Debian package.
include(GNUInstallDirs)

install(TARGETS battery-analyzer battery-analyzer-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The whole tool, which battery-analyzer-cli becomes for the register, pictures and serve.
install(TARGETS battery-analyzer-cli-register
  RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/battery-analyzer)
install(FILES app/desktop/battery-analyzer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The PNG icons are the window's own drawing of the icon, written by the icon-export tool
# (tools/); the SVG shows the same picture for sizes the theme scales.
foreach(size 16 32 48)
  install(FILES app/icons/${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME battery-analyzer.png)
endforeach()
install(FILES app/icons/battery-analyzer.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME battery-analyzer)
set(CPACK_PACKAGE_VENDOR "Battery Analyzer project")
set(CPACK_PACKAGE_CONTACT "Battery Analyzer project <maintainers@battery-analyzer.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion for a handheld battery analyzer on a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The Qt libraries and libqrencode (the labels' QR codes) come from dpkg-shlibdeps; the
# platform plugins (the labels are drawn offscreen), the SQL drivers of the cell register and
# the fonts the window, the report's page and the labels are drawn with are not linked, so they
# are named here. PostgreSQL registers are for labs that share one, so that driver is
# recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-liberation, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
include(CPack)

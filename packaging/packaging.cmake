# Where an installed Tamarin puts its files on a Linux desktop, and the Debian package built
# from them (cpack -G DEB, run in the build directory).
include(GNUInstallDirs)

set(TAMARIN_APP_ID example.vireo.Tamarin)
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(assets_dir ${PROJECT_SOURCE_DIR}/assets)

# The launcher's name is the one the running tool announces as its desktop file name.
install(FILES ${packaging_dir}/tamarin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/${TAMARIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 64 128 256)
    install(FILES ${assets_dir}/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tamarin.png)
endforeach()
install(FILES ${assets_dir}/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME tamarin.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamarin)
set(CPACK_PACKAGE_VENDOR "Vireo")
set(CPACK_PACKAGE_CONTACT "Tamarin developers <support@vireo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Vireo HTML Generator: the HTML for a live game-server status")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vireo.example/Vireo/")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tamarin writes the HTML that places a live Vireo status control on a web page.
It shows a live preview of the control for the chosen game server, and the
snippet (OBJECT, PARAM, EMBED and a download link) ready to copy.")
# The libraries come from what the executable links (dpkg-shlibdeps). Debian ships no Verdana, and
# DejaVu Sans is the typeface the window falls back to, so the package brings it along.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
include(CPack)

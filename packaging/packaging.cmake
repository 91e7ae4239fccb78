# Where an installed Tamarin and its status gateway put their files on Linux, and the two Debian
# packages built from them in one run (cpack -G DEB, in the build directory):
#   tamarin_<version>_amd64.deb        the desktop tool (install component "tamarin")
#   vireo-gateway_<version>_amd64.deb  the HTTP status gateway (install component "gateway")
include(GNUInstallDirs)

set(TAMARIN_APP_ID example.vireo.Tamarin)
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(assets_dir ${PROJECT_SOURCE_DIR}/assets)
set(packaging_build_dir ${PROJECT_BINARY_DIR}/packaging)

# Directories the install creates are world-readable whatever the builder's umask, as Debian wants.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The launcher's name is the one the running tool announces as its desktop file name.
install(FILES ${packaging_dir}/tamarin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT tamarin)
install(FILES ${packaging_dir}/${TAMARIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tamarin)
foreach(size 16 32 64 128 256)
    install(FILES ${assets_dir}/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tamarin.png COMPONENT tamarin)
endforeach()
install(FILES ${assets_dir}/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME tamarin.svg COMPONENT tamarin)

# Debian wants the copyright and a compressed changelog in each package's doc folder, and man
# pages compressed; gzip -n keeps the compressed files the same from build to build.
function(tamarin_gzip source output)
    add_custom_command(OUTPUT ${output}
                       COMMAND gzip -9n -c ${source} > ${output}
                       DEPENDS ${source} VERBATIM)
endfunction()

function(tamarin_package_docs package component)
    set(TAMARIN_DEB_PACKAGE ${package})
    set(changelog ${packaging_build_dir}/${package}/changelog)
    configure_file(${packaging_dir}/changelog.in ${changelog} @ONLY)
    tamarin_gzip(${changelog} ${changelog}.gz)
    install(FILES ${packaging_dir}/copyright ${changelog}.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    set_property(GLOBAL APPEND PROPERTY tamarin_packaging_outputs ${changelog}.gz)
endfunction()

tamarin_package_docs(tamarin tamarin)
tamarin_gzip(${packaging_dir}/tamarin.1 ${packaging_build_dir}/tamarin.1.gz)
install(FILES ${packaging_build_dir}/tamarin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT tamarin)
set_property(GLOBAL APPEND PROPERTY tamarin_packaging_outputs ${packaging_build_dir}/tamarin.1.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME tamarin)
set(CPACK_PACKAGE_VENDOR "Vireo")
set(CPACK_PACKAGE_CONTACT "Tamarin developers <support@vireo.example>")
# Each component's description starts with its own summary line; CPack prepends the package-wide
# summary to every one unless it is left at CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_NAME} built using CMake")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vireo.example/Vireo/")
# The libraries come from what each executable links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_TAMARIN_PACKAGE_NAME tamarin)
set(CPACK_DEBIAN_TAMARIN_FILE_NAME DEB-DEFAULT)
set(CPACK_COMPONENT_TAMARIN_DESCRIPTION
    "Vireo HTML Generator: the HTML for a live game-server status
Tamarin writes the HTML that places a live Vireo status control on a web page.
It shows a live preview of the control for the chosen game server, and the
snippet (OBJECT, PARAM, EMBED and a download link) ready to copy.")
# Debian ships no Verdana, and DejaVu Sans is the typeface the window falls back to, so the
# package brings it along.
set(CPACK_DEBIAN_TAMARIN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_COMPONENTS_ALL tamarin)

# The gateway is packaged when the build has it; its folder may be added before or after this
# file, so the decision waits for the end of the top-level CMakeLists.txt.
macro(tamarin_package_gateway_if_built)
    if(TARGET vireo-gateway)
        include(${packaging_dir}/gateway/gateway.cmake)
    endif()
    get_property(outputs GLOBAL PROPERTY tamarin_packaging_outputs)
    add_custom_target(tamarin_packaging_files ALL DEPENDS ${outputs})
    include(CPack)
endmacro()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tamarin_package_gateway_if_built)

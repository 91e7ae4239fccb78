# The status gateway's package: the service, its systemd unit, its default configuration (a
# conffile, so an administrator's allow-list survives upgrades) and its manual. Included from
# packaging.cmake once the build is known to have the vireo-gateway target, whose own install rule
# puts the executable in the "gateway" component.
set(gateway_dir ${packaging_dir}/gateway)

# The unit and the configuration have fixed places outside any prefix: they go into the package
# (which installs its component by name) but not into a plain `cmake --install --prefix ...`.
install(FILES ${gateway_dir}/vireo-gateway.service DESTINATION /lib/systemd/system
        COMPONENT gateway EXCLUDE_FROM_ALL)
install(FILES ${gateway_dir}/vireo-gateway.conf DESTINATION /etc COMPONENT gateway EXCLUDE_FROM_ALL)
tamarin_gzip(${gateway_dir}/vireo-gateway.1 ${packaging_build_dir}/vireo-gateway.1.gz)
install(FILES ${packaging_build_dir}/vireo-gateway.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT gateway)
set_property(GLOBAL APPEND PROPERTY tamarin_packaging_outputs
             ${packaging_build_dir}/vireo-gateway.1.gz)
tamarin_package_docs(vireo-gateway gateway)
# The nginx site to put in front of it, as the checks test it: byte for byte what is shipped.
# Every game it knows, with its ports and where each port fact comes from; the manual points here.
install(FILES ${PROJECT_SOURCE_DIR}/docs/games.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vireo-gateway COMPONENT gateway)
install(FILES ${PROJECT_SOURCE_DIR}/docs/nginx/vireo-gateway.conf
              ${PROJECT_SOURCE_DIR}/docs/nginx/vireo-gateway-locations.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vireo-gateway/examples COMPONENT gateway)

set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME vireo-gateway)
set(CPACK_DEBIAN_GATEWAY_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION httpd)
set(CPACK_COMPONENT_GATEWAY_DESCRIPTION
    "Vireo status gateway: live game-server status for web pages
vireo-gateway is a small HTTP service that queries allow-listed game servers
(148 games: Source/A2S, Quake III, Minecraft, GameSpy 1/2/3, Unreal 2 and
All-Seeing Eye families) and answers web pages with their
status as cacheable JSON or an SVG banner, and serves the vireo.js script
that turns a pasted snippet into a live status panel.
.
It queries each server at most once per minimum refresh however many pages
ask, and its answers carry Cache-Control and ETag so nginx or a CDN in front
of it can serve most requests. A hardened systemd unit is included; it is
not enabled until the allow-list in /etc/vireo-gateway.conf is filled in.")
# The unit is registered, restarted on upgrade when running and stopped on removal, as debhelper's
# scripts do; it is not enabled on install because the shipped allow-list is empty.
set(CPACK_DEBIAN_GATEWAY_PACKAGE_DEPENDS "init-system-helpers (>= 1.52)")
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_EXTRA
    ${gateway_dir}/conffiles ${gateway_dir}/postinst ${gateway_dir}/prerm ${gateway_dir}/postrm)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
list(APPEND CPACK_COMPONENTS_ALL gateway)

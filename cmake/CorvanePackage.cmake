# The Debian package, built by scripts/package.sh with CPack from what CorvaneInstall.cmake
# installs. Its version is the project's version, the same one the window caption shows.
set(CORVANE_PACKAGE_MAINTAINER
    "Corvane maintainers <maintainers@users.noreply.c-seed-cfdffaa0.example>"
    CACHE STRING "The Maintainer field of the Debian package")

# The maintainer scripts, with the system folder of this build.
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${script}
                 ${PROJECT_BINARY_DIR}/debian/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay for Wake-on-LAN magic packets")
set(CPACK_PACKAGE_DESCRIPTION
"Corvane relays Wake-on-LAN magic packets. Run on a host that sits in more
than one network, it sends a magic packet that reaches this host on to the
broadcast domains and hosts that the sender cannot reach itself.

Each proxy server listens on one UDP port, filters packets by sender, MAC
address and password, optionally rewrites them, and sends them to IPv4
networks, IPv6 addresses or host names. The desktop program Corvane edits,
runs and watches the proxy servers; it installs the service program
CorvaneService as a systemd service that runs them at boot.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap, for the capability the postinst gives the desktop program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian/postinst
    ${PROJECT_BINARY_DIR}/debian/prerm
    ${PROJECT_BINARY_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

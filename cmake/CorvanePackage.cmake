# The Debian packages, built by scripts/package.sh with CPack from the components that
# CorvaneInstall.cmake installs: corvane-service (the service program, corvanectl, corvane-profile,
# nothing graphical) and corvane (the window, which depends on corvane-service of the same
# version). Their version is the project's version, the same one the window caption shows.
set(CORVANE_PACKAGE_MAINTAINER
    "Corvane maintainers <maintainers@users.noreply.c-seed-cfdffaa0.example>"
    CACHE STRING "The Maintainer field of the Debian package")
# The package architecture; a cross build's toolchain file sets it (cmake/toolchain-*.cmake).
set(CORVANE_DEB_ARCHITECTURE "" CACHE STRING "Debian architecture of the packages (default: the host's)")
# Until this version, the single package corvane held what corvane-service holds now.
set(CORVANE_SINGLE_PACKAGE_BEFORE 1.2)

# The maintainer scripts, with the system folder of this build.
foreach(script corvane-service.postinst corvane-service.prerm corvane-service.postrm
               corvane.postinst)
  string(REPLACE "." "/" script_path ${script})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${script}
                 ${PROJECT_BINARY_DIR}/debian/${script_path} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay for Wake-on-LAN magic packets")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${CORVANE_COMPONENTS})
set(CPACK_PACKAGE_DESCRIPTION
"Corvane relays Wake-on-LAN magic packets. Run on a host that sits in more
than one network, it sends a magic packet that reaches this host on to the
broadcast domains and hosts that the sender cannot reach itself.

Each proxy server listens on one UDP port, filters packets by sender, MAC
address and password, optionally rewrites them, and sends them to IPv4
networks, IPv6 addresses or host names. The desktop program Corvane edits,
runs and watches the proxy servers; it installs the service program
CorvaneService as a systemd service that runs them at boot.")
set(CPACK_COMPONENT_SERVICE_DESCRIPTION
"relay for Wake-on-LAN magic packets - service and command line
Corvane relays Wake-on-LAN magic packets. Run on a host that sits in more
than one network, it sends a magic packet that reaches this host on to the
broadcast domains and hosts that the sender cannot reach itself.

This package holds what a host without a display needs: the service program
CorvaneService, which runs the proxy servers at boot under systemd, and the
command line corvanectl, which installs, configures, starts, stops and
removes the service from a JSON configuration, with the JSON schema, an
example and Prometheus alerting rules.")
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
"relay for Wake-on-LAN magic packets - desktop program
Corvane relays Wake-on-LAN magic packets. Run on a host that sits in more
than one network, it sends a magic packet that reaches this host on to the
broadcast domains and hosts that the sender cannot reach itself.

Each proxy server listens on one UDP port, filters packets by sender, MAC
address and password, optionally rewrites them, and sends them to IPv4
networks, IPv6 addresses or host names. The desktop program Corvane edits,
runs and watches the proxy servers and installs the service of the package
corvane-service.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CORVANE_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CORVANE_DEB_ARCHITECTURE})
endif()

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME corvane-service)
# Files that the single package of earlier versions held move here (Debian policy 7.6.1).
set(CPACK_DEBIAN_SERVICE_PACKAGE_BREAKS "corvane (<< ${CORVANE_SINGLE_PACKAGE_BEFORE})")
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES "corvane (<< ${CORVANE_SINGLE_PACKAGE_BEFORE})")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian/corvane-service/postinst
    ${PROJECT_BINARY_DIR}/debian/corvane-service/prerm
    ${PROJECT_BINARY_DIR}/debian/corvane-service/postrm)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME corvane)
# setcap, for the capability the postinst gives the desktop program.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "corvane-service (= ${PROJECT_VERSION}), libcap2-bin")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/corvane/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# Where `cmake --install` puts Corvane, one list per kind of file and per component. A new program,
# manual page or data file is one more entry in its list. Paths follow GNUInstallDirs, so a prefix
# of /usr gives /usr/bin, /usr/share/man and so on.
#
# Two components, one Debian package each (CorvanePackage.cmake): `service`, everything a host
# without a display needs (the service program, corvanectl, corvane-profile, the unit template,
# the JSON schema and example, the alerting rules), and `desktop`, the window. The service program
# is installed beside the desktop program and corvanectl: their Install actions copy it from their
# own folder into the system folder.
include(GNUInstallDirs)

set(CORVANE_SERVICE_PROGRAMS CorvaneService corvanectl corvane-profile)
set(CORVANE_DESKTOP_PROGRAMS Corvane)
# Roff sources; the section is the file's extension. Installed compressed.
set(CORVANE_SERVICE_MAN_PAGES
  docs/man/CorvaneService.8
  docs/man/corvanectl.1
  docs/man/corvane-profile.1)
set(CORVANE_DESKTOP_MAN_PAGES docs/man/Corvane.1)
# Files for <datadir>/corvane.
set(CORVANE_SHARED_DATA
  ${PROJECT_BINARY_DIR}/CorvaneService.service
  ${PROJECT_SOURCE_DIR}/data/corvane-profile.schema.json
  ${PROJECT_SOURCE_DIR}/data/corvane-profile.example.json
  ${PROJECT_SOURCE_DIR}/data/corvane.rules.yml)
# The launcher and the AppStream description.
set(CORVANE_APPLICATIONS data/corvane.desktop)
set(CORVANE_METAINFO data/org.corvane.Corvane.metainfo.xml)
set(CORVANE_DOCUMENTS packaging/debian/copyright)

set(CORVANE_COMPONENTS service)
if(CORVANE_DESKTOP)
  list(APPEND CORVANE_COMPONENTS desktop)
endif()

install(TARGETS ${CORVANE_SERVICE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT service)
if(CORVANE_DESKTOP)
  install(TARGETS ${CORVANE_DESKTOP_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT desktop)
endif()

foreach(component IN LISTS CORVANE_COMPONENTS)
  string(TOUPPER ${component} upper)
  foreach(page IN LISTS CORVANE_${upper}_MAN_PAGES)
    get_filename_component(name ${page} NAME)
    string(REGEX REPLACE "^.*\\.([1-9])$" "\\1" section ${name})
    set(compressed ${PROJECT_BINARY_DIR}/man/${name}.gz)
    # -n keeps the name and time out of the header, so equal sources give equal files.
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${PROJECT_SOURCE_DIR}/${page} ${compressed}
      DEPENDS ${PROJECT_SOURCE_DIR}/${page}
      VERBATIM)
    list(APPEND corvane_compressed_man ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
            COMPONENT ${component})
  endforeach()
endforeach()

# The Debian changelog, compressed the same way.
set(changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
  COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(corvane_install_files ALL DEPENDS ${corvane_compressed_man} ${changelog})

install(FILES ${CORVANE_SHARED_DATA} DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane
        COMPONENT service)
# Each package has its own copyright file and changelog (Debian policy 12.5, 12.7).
install(FILES ${CORVANE_DOCUMENTS} ${changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane-service COMPONENT service)
if(CORVANE_DESKTOP)
  install(FILES ${CORVANE_DOCUMENTS} ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane
          COMPONENT desktop)
  install(FILES ${CORVANE_APPLICATIONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT desktop)
  install(FILES ${CORVANE_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
          COMPONENT desktop)
  install(FILES data/corvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT desktop)
  foreach(size IN LISTS CORVANE_ICON_SIZES)
    install(FILES ${CORVANE_ICON_DIR}/${size}/corvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            COMPONENT desktop)
  endforeach()
endif()

# Installing and packaging. `cmake --install` puts the three programs in bin, their data files
# in share/lumacrest (the programs look for them in bin/../share/lumacrest, so an unpacked or
# moved tree works as well), a desktop entry, an icon, the manual pages, the bash completion
# and the copyright and changelog files; CPack makes two Debian packages of it
# (scripts/package.sh):
# - lumacrest-cli (component cli): lumacrest-cli, lumacrest-sim, the data files, their manual
#   pages, the bash completion and /var/lib/lumacrest; Qt Core only, for a
#   line PC without a desktop;
# - lumacrest (component gui): the window, its desktop entry, icon and manual page; it
#   depends on lumacrest-cli of the same version.

set(LUMACREST_DEB_RELEASE 1)
set(LUMACREST_DEB_VERSION ${PROJECT_VERSION}-${LUMACREST_DEB_RELEASE})

if(LUMACREST_GUI)
  install(TARGETS lumacrest RUNTIME DESTINATION bin COMPONENT gui)
  install(TARGETS lumacrest-cli RUNTIME DESTINATION bin COMPONENT cli)
endif()
install(TARGETS lumacrest-sim RUNTIME DESTINATION bin COMPONENT cli)

# The data files, and the sums of every version of them ever shipped, so that a user's copy
# equal to one of them is known to be unchanged (src/app/ProgramDirectory.h). When a data file
# changes, add the sum of the version that shipped before to pkg/shipped-data.sha256.
file(GLOB LUMACREST_DATA_FILES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.cfg ${CMAKE_SOURCE_DIR}/res/*.dat)
install(FILES ${LUMACREST_DATA_FILES} DESTINATION share/lumacrest COMPONENT cli)
set(LUMACREST_SUMMED ${LUMACREST_DATA_FILES})
list(FILTER LUMACREST_SUMMED EXCLUDE REGEX "/Config\\.dat$")
set(LUMACREST_DATA_SUMS ${CMAKE_BINARY_DIR}/DataFiles.sha256)
add_custom_command(OUTPUT ${LUMACREST_DATA_SUMS}
  COMMAND ${CMAKE_COMMAND} "-DFILES=${LUMACREST_SUMMED}"
          -DHISTORY=${CMAKE_SOURCE_DIR}/pkg/shipped-data.sha256 -DOUT=${LUMACREST_DATA_SUMS}
          -P ${CMAKE_SOURCE_DIR}/cmake/DataSums.cmake
  DEPENDS ${LUMACREST_SUMMED} ${CMAKE_SOURCE_DIR}/pkg/shipped-data.sha256
          ${CMAKE_SOURCE_DIR}/cmake/DataSums.cmake VERBATIM)
add_custom_target(data_sums ALL DEPENDS ${LUMACREST_DATA_SUMS})
install(FILES ${LUMACREST_DATA_SUMS} DESTINATION share/lumacrest COMPONENT cli)

install(FILES ${CMAKE_SOURCE_DIR}/res/bash-completion/lumacrest-cli
        DESTINATION share/bash-completion/completions COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/res/lumacrest.desktop DESTINATION share/applications
        COMPONENT gui)
install(FILES ${CMAKE_SOURCE_DIR}/res/icons/app-128.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME lumacrest.svg COMPONENT gui)

# Manual pages and the changelog, compressed as Debian keeps them.
function(lumacrest_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gz
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
set(LUMACREST_GZ)
foreach(page lumacrest-cli lumacrest-sim lumacrest)
  lumacrest_gzip(${CMAKE_SOURCE_DIR}/res/man/${page}.1 ${CMAKE_BINARY_DIR}/gz/${page}.1.gz)
  list(APPEND LUMACREST_GZ ${CMAKE_BINARY_DIR}/gz/${page}.1.gz)
endforeach()
lumacrest_gzip(${CMAKE_SOURCE_DIR}/pkg/changelog ${CMAKE_BINARY_DIR}/gz/changelog.Debian.gz)
list(APPEND LUMACREST_GZ ${CMAKE_BINARY_DIR}/gz/changelog.Debian.gz)
add_custom_target(man_pages ALL DEPENDS ${LUMACREST_GZ})
install(FILES ${CMAKE_BINARY_DIR}/gz/lumacrest-cli.1.gz ${CMAKE_BINARY_DIR}/gz/lumacrest-sim.1.gz
        DESTINATION share/man/man1 COMPONENT cli)
install(FILES ${CMAKE_BINARY_DIR}/gz/lumacrest.1.gz DESTINATION share/man/man1 COMPONENT gui)
foreach(component cli gui)
  if(component STREQUAL cli)
    set(package lumacrest-cli)
  else()
    set(package lumacrest)
  endif()
  install(FILES ${CMAKE_SOURCE_DIR}/pkg/copyright ${CMAKE_BINARY_DIR}/gz/changelog.Debian.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli gui)
set(CPACK_PACKAGE_NAME lumacrest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LUMACREST_DEB_RELEASE})
set(CPACK_PACKAGE_CONTACT "The Lumacrest developers <dev@lumacrest.example.org>")
set(CPACK_DEBIAN_PACKAGE_SOURCE lumacrest)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The libraries the programs link (Qt among them) come from dpkg-shlibdeps; the font of the
# window's Chinese texts is loaded at run time, so it is named here. The xcb platform plugin
# is in libqt6gui6, which the window links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME lumacrest-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION electronics)
# Until 3.0 one package named lumacrest held every file.
set(CPACK_DEBIAN_CLI_PACKAGE_BREAKS "lumacrest (<< ${LUMACREST_DEB_VERSION})")
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "lumacrest (<< ${LUMACREST_DEB_VERSION})")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/pkg/lumacrest-cli/postinst ${CMAKE_SOURCE_DIR}/pkg/lumacrest-cli/postrm)
set(CPACK_DEBIAN_CLI_DESCRIPTION
"command-line host tool for the Lumacrest serial MCU programmer
Programs MN101, MN103 and MN90 flash microcontrollers through the Lumacrest
programmer box on a serial port: loads Intel HEX, S-record and raw images,
erases, writes and verifies flash, boot area and KeyCode, and keeps project
files, serial numbers and run records.
.
This package holds lumacrest-cli, the tool for production lines, which runs
several programmers at once, and lumacrest-sim, a simulated programmer box on
a pseudo-terminal. It needs no desktop: Qt Core only.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME lumacrest)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "lumacrest-cli (= ${LUMACREST_DEB_VERSION}), fonts-wqy-microhei")
set(CPACK_DEBIAN_GUI_DESCRIPTION
"host tool for the Lumacrest serial MCU programmer (window)
Programs MN101, MN103 and MN90 flash microcontrollers through the Lumacrest
programmer box on a serial port: loads Intel HEX, S-record and raw images,
erases, writes and verifies flash, boot area and KeyCode, and keeps project
files, serial numbers and run records.
.
This package holds lumacrest, the window, with its desktop entry; the
command-line tool is in lumacrest-cli.")
include(CPack)

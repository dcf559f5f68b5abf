# Installing and packaging. `cmake --install` puts the three programs in bin, their data files
# in share/lumacrest (the programs look for them in bin/../share/lumacrest, so an unpacked or
# moved tree works as well), a desktop entry, an icon and the manual pages; CPack makes a
# Debian package of it (scripts/package.sh).

if(LUMACREST_GUI)
  install(TARGETS lumacrest lumacrest-cli RUNTIME DESTINATION bin)
endif()
install(TARGETS lumacrest-sim RUNTIME DESTINATION bin)

file(GLOB LUMACREST_DATA_FILES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.cfg ${CMAKE_SOURCE_DIR}/res/*.dat)
install(FILES ${LUMACREST_DATA_FILES} DESTINATION share/lumacrest)
install(FILES ${CMAKE_SOURCE_DIR}/res/lumacrest.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/res/icons/app-128.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME lumacrest.svg)

# Manual pages, compressed as Debian keeps them.
file(GLOB LUMACREST_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/man/*.1)
set(LUMACREST_MAN_GZ)
foreach(page ${LUMACREST_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  set(gz ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${CMAKE_BINARY_DIR}/man/${name}
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${name}
    DEPENDS ${page} VERBATIM)
  list(APPEND LUMACREST_MAN_GZ ${gz})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${LUMACREST_MAN_GZ})
install(FILES ${LUMACREST_MAN_GZ} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumacrest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumacrest <dev@lumacrest.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host tool for the Lumacrest serial microcontroller programmer")
set(CPACK_PACKAGE_DESCRIPTION
"Programs MN101, MN103 and MN90 flash microcontrollers through the Lumacrest
programmer box on a serial port: loads Intel HEX, S-record and raw images,
erases, writes and verifies flash, boot area and KeyCode, and keeps project
files, serial numbers and run records. lumacrest is the window,
lumacrest-cli the same tool on the command line for production lines, and
lumacrest-sim a simulated programmer box on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries the programs link (Qt among them) come from dpkg-shlibdeps; the Qt platform
# plugins and the font of the Chinese texts are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei")
include(CPack)

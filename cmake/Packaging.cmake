# Installs the desktop files and the manual page, and packs everything installed into a .deb
# (cpack -G DEB in the build folder).
include(GNUInstallDirs)

set(QUILLFEED_MAN_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
# The manual page names the spot service host and web address this build was configured with.
configure_file(${PROJECT_SOURCE_DIR}/packaging/quillfeed.1.in ${PROJECT_BINARY_DIR}/packaging/quillfeed.1 @ONLY)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillfeed.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillfeed.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_BINARY_DIR}/packaging/quillfeed.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME "quillfeed")
set(CPACK_PACKAGE_VENDOR "Quillfeed")
set(CPACK_PACKAGE_VERSION "${QUILLFEED_MAN_VERSION}")
set(CPACK_PACKAGE_CONTACT "Quillfeed developers <quillfeed@orbalis.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion for WSJT-X and JTDX that relays their datagrams and reports spots")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quillfeed listens for the UDP datagrams of WSJT-X and JTDX (unicast or multicast), shows and\n"
    "traces them, relays each one unchanged to a second address so that a logger still hears\n"
    "them, reports the stations heard calling to the Orbalis spot service and uploads logged\n"
    "QSOs to the operator's online log.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "hamradio")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wsjtx")

# dpkg-shlibdeps (dpkg-dev) works out the libraries with their least versions; without it the
# Qt 6 libraries the program links are named by hand.
find_program(QUILLFEED_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLFEED_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6network6, libqt6gui6, libqt6core6, libc6, libstdc++6")
endif()

include(CPack)

if(QUILLFEED_BUILD_TESTS)
  add_test(NAME install_and_package
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
                   ${PROJECT_BINARY_DIR} ${QUILLFEED_MAN_VERSION} ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND})
  set_tests_properties(install_and_package PROPERTIES TIMEOUT 300)
endif()

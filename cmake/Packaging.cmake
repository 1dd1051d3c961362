# Installs the desktop files, the manual pages and the package documents, and packs everything
# installed into a .deb (cpack -G DEB in the build folder; scripts/package.sh for a release).
include(GNUInstallDirs)

set(QUILLFEED_MAN_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(QUILLFEED_HOMEPAGE "https://quillfeed.org")
set(QUILLFEED_MAINTAINER "Quillfeed maintainers <maintainers@quillfeed.org>")
# Debian revision of the package: bumped when only the packaging changes.
set(QUILLFEED_DEB_REVISION 1)
# The release date in the package changelog and the metainfo; set with each new version.
set(QUILLFEED_RELEASE_DATE "2026-12-08")
set(QUILLFEED_RELEASE_DATE_RFC2822 "Tue, 08 Dec 2026 12:00:00 +0000")

set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/quillfeed)

# Debian wants manual pages and the changelog compressed with gzip -9n (no name, no time stamp,
# so that the package is reproducible). Filled in and compressed at configure time: the pages
# name the spot service host and web address this build was configured with.
find_program(QUILLFEED_GZIP gzip REQUIRED)
function(quillfeed_configure_gzipped template output)
  configure_file(${template} ${packaging_out}/${output} @ONLY)
  execute_process(COMMAND ${QUILLFEED_GZIP} -9nf ${packaging_out}/${output}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

quillfeed_configure_gzipped(${PROJECT_SOURCE_DIR}/packaging/quillfeed.1.in quillfeed.1)
quillfeed_configure_gzipped(${PROJECT_SOURCE_DIR}/packaging/quillfeed-send.1.in quillfeed-send.1)
quillfeed_configure_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in changelog.Debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${packaging_out}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in
               ${packaging_out}/${QUILLFEED_APP_ID}.metainfo.xml @ONLY)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${QUILLFEED_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_out}/${QUILLFEED_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillfeed.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging_out}/quillfeed.1.gz ${packaging_out}/quillfeed-send.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.Debian.gz
        DESTINATION ${docdir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillfeed.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillfeed)

# The user service (quillfeed --no-window), in the user-unit folder under the prefix. Its ExecStart
# names the program where this install puts it, which only the install itself knows (cmake --install
# --prefix, or /usr for the package), so the unit is written then.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/packaging/quillfeed.service.in\" unit)
  string(REPLACE \"@BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/packaging/quillfeed.service\" \"\${unit}\")")
install(FILES ${PROJECT_BINARY_DIR}/packaging/quillfeed.service DESTINATION lib/systemd/user)

set(CPACK_PACKAGE_NAME "quillfeed")
set(CPACK_PACKAGE_VENDOR "Quillfeed")
set(CPACK_PACKAGE_VERSION "${QUILLFEED_MAN_VERSION}")
set(CPACK_PACKAGE_CONTACT "${QUILLFEED_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion for WSJT-X and JTDX that relays their datagrams and reports spots")
# Lines stay under 80 columns: Debian's tools show the description as it stands.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quillfeed listens for the UDP datagrams of WSJT-X and JTDX (unicast or\n"
    "multicast), shows and traces them, relays each one unchanged to a second\n"
    "address so that a logger still hears them, reports the stations heard\n"
    "calling to the Orbalis spot service and uploads logged QSOs to the\n"
    "operator's online log.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_RELEASE "${QUILLFEED_DEB_REVISION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLFEED_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLFEED_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION "hamradio")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wsjtx")

# dpkg-shlibdeps (dpkg-dev) works out the libraries with their least versions; without it the
# Qt 6 libraries the program links are named by hand.
find_program(QUILLFEED_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLFEED_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6network6, libqt6gui6, libqt6core6, libqt6httpserver6, libc6, libstdc++6")
endif()

include(CPack)

if(QUILLFEED_BUILD_TESTS)
  add_test(NAME install_and_package
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
                   ${PROJECT_BINARY_DIR} ${QUILLFEED_MAN_VERSION} ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND})
  set_tests_properties(install_and_package PROPERTIES TIMEOUT 300)
endif()

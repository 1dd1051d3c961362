# Installs the desktop entry, icon, metainfo, manual pages and user service. The Debian package
# (debian/) adds its copyright, changelog and lintian overrides; scripts/package.sh builds it.
include(GNUInstallDirs)

set(QUILLFEED_MAN_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(QUILLFEED_HOMEPAGE "https://quillfeed.org")
# The release date in the metainfo; set with each new version, as debian/changelog's entry.
set(QUILLFEED_RELEASE_DATE "2026-12-08")

set(packaging_out ${PROJECT_BINARY_DIR}/packaging)

# Debian wants manual pages compressed with gzip -9n (no name, no time stamp, so that the package
# is reproducible). Filled in and compressed at configure time: the pages name the spot service
# host and web address this build was configured with.
find_program(QUILLFEED_GZIP gzip REQUIRED)
function(quillfeed_configure_gzipped template output)
  configure_file(${template} ${packaging_out}/${output} @ONLY)
  execute_process(COMMAND ${QUILLFEED_GZIP} -9nf ${packaging_out}/${output}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

quillfeed_configure_gzipped(${PROJECT_SOURCE_DIR}/packaging/quillfeed.1.in quillfeed.1)
quillfeed_configure_gzipped(${PROJECT_SOURCE_DIR}/packaging/quillfeed-send.1.in quillfeed-send.1)
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

# The user service (quillfeed --no-window), in the user-unit folder under the prefix. Its ExecStart
# names the program where this install puts it, which only the install itself knows (cmake --install
# --prefix, or /usr for the package), so the unit is written then.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/packaging/quillfeed.service.in\" unit)
  string(REPLACE \"@BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/packaging/quillfeed.service\" \"\${unit}\")")
install(FILES ${PROJECT_BINARY_DIR}/packaging/quillfeed.service DESTINATION lib/systemd/user)

if(QUILLFEED_BUILD_TESTS)
  add_test(NAME install
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
                   ${PROJECT_BINARY_DIR} ${QUILLFEED_MAN_VERSION} ${CMAKE_COMMAND})
  set_tests_properties(install PROPERTIES TIMEOUT 300 LABELS plain)
endif()

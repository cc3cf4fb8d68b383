# Installation (GNUInstallDirs) and the Debian package (`make package`,
# CPack): the programs, their desktop entries, icons, AppStream metainfo,
# man pages and bash completion, the collector service with its system
# user, and examples. Programs that are not built (the window programs
# without CORVANE_WITH_UI, Halvern until it exists) are left out.
include(GNUInstallDirs)

set(PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(CORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/corvane-tools)

# Program, desktop id (empty: no desktop entry), man page.
set(CORVANE_PROGRAMS
    "lumarc-cli||lumarc-cli.1"
    "corvane-sim||corvane-sim.1"
    "corvane-setup||corvane-setup.1"
    "lumarc|com.brennic.Lumarc|lumarc.1"
    "halvern|com.brennic.Halvern|halvern.1")
set(CORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

foreach(entry IN LISTS CORVANE_PROGRAMS)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 program)
  list(GET fields 1 desktopId)
  list(GET fields 2 manPage)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Man pages go compressed, as Debian wants them.
  configure_file(${PACKAGING_DIR}/man/${manPage} ${PROJECT_BINARY_DIR}/man/${manPage} COPYONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/man/${manPage})
  install(FILES ${PROJECT_BINARY_DIR}/man/${manPage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(desktopId)
    install(FILES ${PACKAGING_DIR}/desktop/${desktopId}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PACKAGING_DIR}/metainfo/${desktopId}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size IN LISTS CORVANE_ICON_SIZES)
      install(FILES ${PACKAGING_DIR}/icons/${size}x${size}/${program}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${PACKAGING_DIR}/icons/scalable/${program}.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endforeach()

if(TARGET lumarc-cli)
  install(FILES ${PACKAGING_DIR}/completion/lumarc-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  # systemd reads units and sysusers.d files from PREFIX/lib (/usr/lib,
  # /usr/local/lib); the unit names the program's installed path.
  configure_file(${PACKAGING_DIR}/systemd/lumarc-collect@.service.in ${PROJECT_BINARY_DIR}/lumarc-collect@.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/lumarc-collect@.service DESTINATION lib/systemd/system)
  configure_file(${PACKAGING_DIR}/systemd/lumarc-web.service.in ${PROJECT_BINARY_DIR}/lumarc-web.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/lumarc-web.service DESTINATION lib/systemd/system)
  install(FILES ${PACKAGING_DIR}/sysusers.d/lumarc.conf DESTINATION lib/sysusers.d)
  install(FILES ${PACKAGING_DIR}/examples/site1.conf ${PACKAGING_DIR}/examples/web.conf
                ${PACKAGING_DIR}/systemd/lumarc-report@.service
                ${PACKAGING_DIR}/systemd/lumarc-report@.timer
          DESTINATION ${CORVANE_DOC_DIR}/examples)
endif()

# The man pages follow the programs' --help: a changed command or option
# fails this test until packaging/man/update.sh has been run.
if(CORVANE_TESTS AND TARGET lumarc-cli AND TARGET corvane-sim)
  add_test(NAME man_pages_follow_help
           COMMAND bash ${PACKAGING_DIR}/man/update.sh --check $<TARGET_FILE:lumarc-cli> $<TARGET_FILE:corvane-sim>)
endif()

# ---- the Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-tools)
set(CPACK_DEBIAN_PACKAGE_NAME corvane-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Brennic)
set(CPACK_PACKAGE_CONTACT "Brennic <support@brennic.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "management tools for Corvane telephone exchanges")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumarc, the management program of the Brennic Corvane telephone exchange,
downloads call records into an SQL database, shows the exchange's signalling
as readable text and downloads voice recordings. lumarc-cli runs the same
engines without a window, also as the lumarc-collect@ service, gives the
call record reports to web browsers (the lumarc-web service), and writes
monitor sessions as pcapng files for Wireshark; corvane-sim plays the
exchange for tests.")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The record databases are reached through ODBC drivers the programs load at
# run time, so the shared library dependencies do not name them.
# The collector's system user is made by systemd-sysusers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqliteodbc, odbcinst, systemd | systemd-standalone-sysusers")
# The exchange's pages open inside Lumarc through Qt WebEngine, whose
# Chromium helper program (QtWebEngineProcess) is started at run time.
if(LUMARC_WEBENGINE AND TARGET lumarc)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6webenginewidgets6, libqt6webenginecore6-bin")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "odbc-postgresql")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark, lame")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PACKAGING_DIR}/debian/postinst ${PACKAGING_DIR}/debian/prerm
                                       ${PACKAGING_DIR}/debian/postrm)

# Debian's copyright and changelog files (the changelog compressed as
# Debian wants it).
set(CORVANE_DEB_DOC ${PROJECT_BINARY_DIR}/deb-doc)
configure_file(${PACKAGING_DIR}/debian/changelog.in ${CORVANE_DEB_DOC}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${CORVANE_DEB_DOC}/changelog)
install(FILES ${PACKAGING_DIR}/debian/copyright ${CORVANE_DEB_DOC}/changelog.gz DESTINATION ${CORVANE_DOC_DIR})

include(CPack)

# Packages: a .deb on Linux (/opt/korvane-monitor plus the systemd unit), a ZIP on Windows
# (CR LF configuration and README). Build them with cpack in the build folder.
set(KV_PKG_SRC ${CMAKE_SOURCE_DIR}/packaging)
set(KV_PKG_GEN ${CMAKE_BINARY_DIR}/generated/package)
file(MAKE_DIRECTORY ${KV_PKG_GEN})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${KV_PKG_SRC}/config_http.txt ${KV_PKG_SRC}/README_linux.txt ${KV_PKG_SRC}/README_windows.txt)

set(CPACK_PACKAGE_NAME korvane-monitor)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Korvane RAID controller monitor with a small web server")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  # Text files with CR LF line ends, whatever the checkout has.
  foreach(pair "config_http.txt;config_http.txt" "README_windows.txt;README.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${KV_PKG_SRC}/${from} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${KV_PKG_GEN}/${to}.tmp "${text}")
    configure_file(${KV_PKG_GEN}/${to}.tmp ${KV_PKG_GEN}/${to} COPYONLY)
  endforeach()
  # reload_service is defined by a later fragment, so it is named by file here.
  install(PROGRAMS $<TARGET_FILE:korvane_monitor> $<TARGET_FILE:reload_service> DESTINATION .)
  install(FILES ${KV_PKG_GEN}/config_http.txt ${KV_PKG_GEN}/README.txt DESTINATION .)
  set(KV_PKG_BIN_DIR .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME korvane-monitor-${PROJECT_VERSION}-windows)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(KV_PKG_DIR opt/korvane-monitor)
  file(READ ${KV_PKG_SRC}/KorvaneMonitorHTTPServer.service.in unit)
  string(REPLACE "@DESCRIPTION@" "Korvane Monitor HTTP Server" unit "${unit}")
  string(REPLACE "@EXEC_START@" "\"/${KV_PKG_DIR}/korvane_monitor\"" unit "${unit}")
  file(WRITE ${KV_PKG_GEN}/KorvaneMonitorHTTPServer.service.tmp "${unit}")
  configure_file(${KV_PKG_GEN}/KorvaneMonitorHTTPServer.service.tmp ${KV_PKG_GEN}/KorvaneMonitorHTTPServer.service
                 COPYONLY)
  # reload_service is defined by a later fragment, so it is named by file here.
  install(PROGRAMS $<TARGET_FILE:korvane_monitor> $<TARGET_FILE:reload_service> DESTINATION ${KV_PKG_DIR})
  install(FILES ${KV_PKG_SRC}/config_http.txt DESTINATION ${KV_PKG_DIR})
  install(FILES ${KV_PKG_SRC}/README_linux.txt DESTINATION ${KV_PKG_DIR} RENAME README)
  install(FILES ${KV_PKG_GEN}/KorvaneMonitorHTTPServer.service DESTINATION usr/lib/systemd/system)
  set(KV_PKG_BIN_DIR ${KV_PKG_DIR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvane Monitor maintainers <monitor@korvane.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, zlib1g, libsqlite3-0, libcurl4")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${KV_PKG_SRC}/debian/postinst ${KV_PKG_SRC}/debian/prerm ${KV_PKG_SRC}/debian/postrm
      ${KV_PKG_SRC}/debian/conffiles)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
# For the monitoring a fleet already runs: alert rules, a Grafana dashboard, a Zabbix template.
install(FILES ${KV_PKG_SRC}/prometheus/korvane_monitor_rules.yml DESTINATION ${KV_PKG_BIN_DIR})
install(FILES ${KV_PKG_SRC}/grafana/korvane_monitor.json DESTINATION ${KV_PKG_BIN_DIR}
        RENAME korvane_monitor_grafana.json)
install(FILES ${KV_PKG_SRC}/zabbix/korvane_monitor.yaml DESTINATION ${KV_PKG_BIN_DIR}
        RENAME korvane_monitor_zabbix.yaml)
# The packaged programs go without their debug information.
foreach(program korvane_monitor reload_service)
  install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KV_PKG_BIN_DIR}/${program}${CMAKE_EXECUTABLE_SUFFIX}\")")
endforeach()
include(CPack)

# The systemd unit template in packaging/ is compiled into the Linux build, so the file an
# administrator can read is the very text `-install` writes.
if(NOT WIN32)
  set(KV_UNIT_TEMPLATE ${CMAKE_SOURCE_DIR}/packaging/KorvaneMonitorHTTPServer.service.in)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KV_UNIT_TEMPLATE})
  file(READ ${KV_UNIT_TEMPLATE} KV_UNIT_TEXT)
  set(KV_UNIT_DIR ${CMAKE_BINARY_DIR}/generated)
  # Written through a scratch file so the header (and what includes it) only changes
  # when the template does.
  file(WRITE ${KV_UNIT_DIR}/service_unit_template.h.tmp
       "#pragma once\n// Generated from packaging/KorvaneMonitorHTTPServer.service.in.\nnamespace kv::platform {\ninline constexpr char kServiceUnitTemplate[] = R\"kvunit(${KV_UNIT_TEXT})kvunit\";\n}\n")
  configure_file(${KV_UNIT_DIR}/service_unit_template.h.tmp
                 ${KV_UNIT_DIR}/platform/service_unit_template.h COPYONLY)
  target_include_directories(kv_core PRIVATE ${KV_UNIT_DIR})
endif()

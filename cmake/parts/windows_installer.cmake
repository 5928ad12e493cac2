# The Windows Installer package, built by wixl with every Windows build:
# packages/korvane-monitor-<version>-x64.msi (packaging/windows/korvane-monitor.wxs).
#
# Windows Installer compares only the first three version fields (255.255.65535), so the
# project's four fields map as major.minor.(patch * 1000 + tweak): 1.0.0.1 -> 1.0.1,
# 1.2.3.45 -> 1.2.3045. Every later release compares higher while patch <= 64 and
# tweak <= 999; the configure step fails outside those bounds.
#
# The package's files are staged in generated/msi/files (programs stripped); the Wine test
# builds a higher version from the same folder.
if(NOT WIN32)
  return()
endif()

find_program(KV_WIXL wixl)
if(NOT KV_WIXL)
  message(FATAL_ERROR "wixl not found: the Windows build makes the MSI package (apt-get install wixl)")
endif()

foreach(part MAJOR MINOR PATCH TWEAK)
  set(kv_v_${part} ${PROJECT_VERSION_${part}})
  if("${kv_v_${part}}" STREQUAL "")
    set(kv_v_${part} 0)
  endif()
endforeach()
if(kv_v_MAJOR GREATER 255 OR kv_v_MINOR GREATER 255 OR kv_v_PATCH GREATER 64 OR kv_v_TWEAK GREATER 999)
  message(FATAL_ERROR "version ${PROJECT_VERSION} does not fit the MSI version mapping "
                      "(major, minor <= 255, patch <= 64, tweak <= 999)")
endif()
math(EXPR kv_msi_build "${kv_v_PATCH} * 1000 + ${kv_v_TWEAK}")
set(KV_MSI_VERSION ${kv_v_MAJOR}.${kv_v_MINOR}.${kv_msi_build})
# One product code per version, derived from the upgrade code in the .wxs.
string(UUID KV_MSI_PRODUCT_CODE NAMESPACE 6E1B7C4A-2F0D-4B8E-9A53-7C1D4E0F2B61 NAME "${KV_MSI_VERSION}"
       TYPE SHA1 UPPER)

set(KV_MSI_GEN ${CMAKE_BINARY_DIR}/generated/msi)
set(KV_MSI_STAGE ${KV_MSI_GEN}/files)
set(KV_MSI_WXS ${CMAKE_SOURCE_DIR}/packaging/windows/korvane-monitor.wxs)
set(KV_MSI ${CMAKE_BINARY_DIR}/packages/korvane-monitor-${PROJECT_VERSION}-x64.msi)
file(MAKE_DIRECTORY ${KV_MSI_STAGE} ${CMAKE_BINARY_DIR}/packages)

# The template of a new config_http.txt (CR LF, as in the ZIP), compiled into the actions.
file(READ ${CMAKE_BINARY_DIR}/generated/package/config_http.txt kv_template HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," kv_template "${kv_template}")
file(WRITE ${KV_MSI_GEN}/msi_config_template.inc.tmp "${kv_template}\n")
configure_file(${KV_MSI_GEN}/msi_config_template.inc.tmp ${KV_MSI_GEN}/msi_config_template.inc COPYONLY)

add_library(kv_msi_actions SHARED ${CMAKE_SOURCE_DIR}/packaging/windows/msi_actions.cpp)
set_target_properties(kv_msi_actions PROPERTIES PREFIX "" OUTPUT_NAME msi_actions)
target_include_directories(kv_msi_actions PRIVATE ${CMAKE_SOURCE_DIR}/src ${KV_MSI_GEN})
target_compile_definitions(kv_msi_actions PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(kv_msi_actions PRIVATE msi advapi32)
target_link_options(kv_msi_actions PRIVATE -static -static-libgcc -static-libstdc++)

add_custom_command(
  OUTPUT ${KV_MSI}
  COMMAND ${CMAKE_STRIP} -o ${KV_MSI_STAGE}/korvane_monitor.exe $<TARGET_FILE:korvane_monitor>
  COMMAND ${CMAKE_STRIP} -o ${KV_MSI_STAGE}/reload_service.exe $<TARGET_FILE:reload_service>
  COMMAND ${CMAKE_STRIP} -o ${KV_MSI_STAGE}/msi_actions.dll $<TARGET_FILE:kv_msi_actions>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/generated/package/README.txt
          ${KV_PKG_SRC}/prometheus/korvane_monitor_rules.yml ${KV_MSI_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${KV_PKG_SRC}/grafana/korvane_monitor.json
          ${KV_MSI_STAGE}/korvane_monitor_grafana.json
  COMMAND ${CMAKE_COMMAND} -E copy ${KV_PKG_SRC}/zabbix/korvane_monitor.yaml
          ${KV_MSI_STAGE}/korvane_monitor_zabbix.yaml
  COMMAND ${KV_WIXL} -a x64 -D Version=${KV_MSI_VERSION} -D ProductCode=${KV_MSI_PRODUCT_CODE}
          -o ${KV_MSI} ${KV_MSI_WXS}
  WORKING_DIRECTORY ${KV_MSI_STAGE}
  DEPENDS korvane_monitor reload_service kv_msi_actions ${KV_MSI_WXS}
          ${CMAKE_BINARY_DIR}/generated/package/README.txt
          ${KV_PKG_SRC}/prometheus/korvane_monitor_rules.yml ${KV_PKG_SRC}/grafana/korvane_monitor.json
          ${KV_PKG_SRC}/zabbix/korvane_monitor.yaml
  COMMENT "Building the Windows Installer package ${KV_MSI_VERSION}"
  VERBATIM)
add_custom_target(kv_msi ALL DEPENDS ${KV_MSI})

# Windows resources of the executable: the event-log message table (entry 1, and every id of
# a state change, is "%1" followed by CR LF, so a record shows its text unchanged) and the
# version resource with the project version.
if(WIN32)
  set(KV_WINRES_DIR ${CMAKE_BINARY_DIR}/generated/service)
  file(MAKE_DIRECTORY ${KV_WINRES_DIR})
  find_program(KV_WINDMC NAMES ${CMAKE_MC_COMPILER} x86_64-w64-mingw32-windmc windmc REQUIRED)

  # The message file is written with CR LF line ends: windmc keeps them in the text.
  # Ids 10 to 90 are the kinds of state change (src/health/changes.h), 72 and 73 a file of the
  # program that cannot be written / is written again (src/platform/write_failures.h), 80 the
  # first run's verdict and 90 the count of changes left out of a cycle; each shows its text
  # the same way.
  string(CONCAT KV_MC_TEXT "MessageIdTypedef=DWORD\r\nLanguageNames=(English=0x409:MSG00409)\r\n\r\n"
                          "MessageId=1\r\nSymbolicName=KV_MSG_TEXT\r\nLanguage=English\r\n%1\r\n.\r\n")
  foreach(id 10 11 12 13 14 20 21 22 23 24 25 30 31 32 40 41 50 51 60 61 70 71 72 73 80 90)
    string(APPEND KV_MC_TEXT "\r\nMessageId=${id}\r\nSymbolicName=KV_MSG_CHANGE_${id}\r\nLanguage=English\r\n%1\r\n.\r\n")
  endforeach()
  file(WRITE ${KV_WINRES_DIR}/service_messages.mc.tmp "${KV_MC_TEXT}")
  configure_file(${KV_WINRES_DIR}/service_messages.mc.tmp ${KV_WINRES_DIR}/service_messages.mc COPYONLY)

  set(V ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK})
  set(VS ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${PROJECT_VERSION_TWEAK})
  file(WRITE ${KV_WINRES_DIR}/service_version.rc.tmp
"#include <winver.h>
1 VERSIONINFO
FILEVERSION ${V}
PRODUCTVERSION ${V}
FILEFLAGSMASK 0x3fL
FILEFLAGS 0x0L
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE 0x0L
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904E4\"
    BEGIN
      VALUE \"CompanyName\", \"Korvane\"
      VALUE \"FileDescription\", \"Korvane Monitor HTTP Server\"
      VALUE \"FileVersion\", \"${VS}\"
      VALUE \"InternalName\", \"korvane_monitor\"
      VALUE \"OriginalFilename\", \"korvane_monitor.exe\"
      VALUE \"ProductName\", \"Korvane Web Monitor (HTTP)\"
      VALUE \"ProductVersion\", \"${VS}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1252
  END
END
")
  configure_file(${KV_WINRES_DIR}/service_version.rc.tmp ${KV_WINRES_DIR}/service_version.rc COPYONLY)

  set(KV_SERVICE_RES ${KV_WINRES_DIR}/service_resources.res.o)
  file(WRITE ${KV_WINRES_DIR}/service_resources.rc.tmp
       "#include \"service_messages.rc\"\n#include \"service_version.rc\"\n")
  configure_file(${KV_WINRES_DIR}/service_resources.rc.tmp ${KV_WINRES_DIR}/service_resources.rc COPYONLY)
  add_custom_command(
    OUTPUT ${KV_SERVICE_RES}
    COMMAND ${KV_WINDMC} -a -h ${KV_WINRES_DIR} -r ${KV_WINRES_DIR} ${KV_WINRES_DIR}/service_messages.mc
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${KV_WINRES_DIR} -i ${KV_WINRES_DIR}/service_resources.rc
            -o ${KV_SERVICE_RES}
    WORKING_DIRECTORY ${KV_WINRES_DIR}
    DEPENDS ${KV_WINRES_DIR}/service_messages.mc ${KV_WINRES_DIR}/service_version.rc
            ${KV_WINRES_DIR}/service_resources.rc
    COMMENT "Compiling the service message table and version resource"
    VERBATIM)
  add_custom_target(kv_service_resources DEPENDS ${KV_SERVICE_RES})
  add_dependencies(korvane_monitor kv_service_resources)
  target_link_libraries(korvane_monitor PRIVATE ${KV_SERVICE_RES})
endif()

#pragma once
// The restart program's command line and its own log.
//
//   reload_service "KorvaneMonitorHTTPServer" "reload" "korvane_monitor_core_log.txt"
//
// The first word names the service, the second is the action (only "reload", any letter
// case), the third is the monitor's core log file name: the monitor's file name without
// its extension followed by "_core_log.txt". The restart program finds the monitor's
// executable from it (in its own folder) when it has to restart the process itself.
//
// Every step goes to "reload_service_log.txt" beside the restart program, one line each:
//   2024-05-01 12:00:00 Stopping service "KorvaneMonitorHTTPServer"
// The log is started afresh when it has grown beyond kMaxReloadLogBytes.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/reload_control.h"

namespace kv {

inline constexpr char kReloadLogName[] = "reload_service_log.txt";
inline constexpr size_t kMaxReloadLogBytes = 1 << 20;

struct ReloadRequest {
  std::string service;
  std::string program_name;  // the monitor's executable file name without folder
  std::string error;         // empty when the command line is usable
};

// `args` excludes the program's own name. `executable_suffix` is ".exe" or "".
ReloadRequest ParseReloadArguments(const std::vector<std::string>& args, const std::string& executable_suffix);

// Printable form of untrusted text for one log line: control bytes become "?", and the
// text is cut to 255 bytes.
std::string LogSafe(const std::string& text);

// "YYYY-MM-DD HH:MM:SS text" followed by the platform's line end.
std::string ReloadLogLine(const platform::LocalDateTime& at, const std::string& text, const char* line_end);

// The whole run: parse, log, restart through `restart`. Returns the exit code
// (0 restarted, 2 bad command line, 1 restart failed).
using RestartFunction = bool (*)(const platform::ReloadTarget&, const platform::ReloadLog&);
int RunReload(const std::vector<std::string>& args, const std::string& own_folder, RestartFunction restart);

}  // namespace kv

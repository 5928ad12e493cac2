#pragma once
// Texts of the start-up lines and of the self-restart. Pure functions; any thread.
#include <cstdint>
#include <string>

namespace kv {

// "HH:NN:SS", preceded by "<days>D " from one day on: 3725 -> "01:02:05",
// 90061 -> "1D 01:01:01", 86400 -> "1D 00:00:00". Negative counts as 0.
std::string UptimeText(int64_t seconds);

// "\"KorvaneMonitorHTTPServer\" \"reload\" \"<core log file name>\"" (CoreLogFileName in
// base/core_log_writer.h).
std::string RestartArguments(const std::string& executable_path);

// '"' path '" ' arguments, with path and arguments each cut to 255 characters and the
// whole line cut to 255 again.
std::string RestartCommandLine(const std::string& program_path, const std::string& arguments);

}  // namespace kv

#include "collect/status_text.h"

#include <cstdio>

#include "base/core_log_writer.h"

namespace kv {

namespace {
constexpr size_t kRestartLineLimit = 255;
}

std::string UptimeText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t days = seconds >= 86400 ? seconds / 86400 : 0;
  const int64_t rest = seconds - days * 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return days > 0 ? std::to_string(days) + "D " + text : std::string(text);
}

std::string RestartArguments(const std::string& executable_path) {
  return "\"KorvaneMonitorHTTPServer\" \"reload\" \"" + CoreLogFileName(executable_path) + "\"";
}

std::string RestartCommandLine(const std::string& program_path, const std::string& arguments) {
  std::string line = "\"" + program_path.substr(0, kRestartLineLimit) + "\" " + arguments.substr(0, kRestartLineLimit);
  if (line.size() > kRestartLineLimit) line.resize(kRestartLineLimit);
  return line;
}

}  // namespace kv

#include "reload/reload_request.h"

#include <cstdio>

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_folder.h"

namespace kv {
namespace {

constexpr size_t kMaxWord = 255;

bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// Service names travel to the service manager as one argument; they must not look like an
// option or a path.
std::string ServiceNameProblem(const std::string& name) {
  if (name.empty()) return "empty service name";
  if (name.size() > kMaxWord) return "service name too long";
  if (name[0] == '-') return "service name begins with \"-\"";
  if (HasControlBytes(name) || name.find_first_of("/\\\"") != std::string::npos)
    return "service name contains a forbidden character";
  return "";
}

std::string ProgramFromLogName(const std::string& log_name, std::string& error) {
  const size_t suffix_len = sizeof(kCoreLogSuffix) - 1;
  if (log_name.size() <= suffix_len || log_name.size() > kMaxWord ||
      !SameTextAscii(std::string_view(log_name).substr(log_name.size() - suffix_len), kCoreLogSuffix)) {
    error = "log name does not end with \"_core_log.txt\"";
    return "";
  }
  const std::string stem = log_name.substr(0, log_name.size() - suffix_len);
  if (stem == "." || stem == ".." || HasControlBytes(stem) ||
      stem.find_first_of("/\\:\"") != std::string::npos) {
    error = "log name must be a plain file name";
    return "";
  }
  return stem;
}

}  // namespace

ReloadRequest ParseReloadArguments(const std::vector<std::string>& args, const std::string& executable_suffix) {
  ReloadRequest request;
  if (args.size() != 3) {
    request.error = "expected 3 arguments: \"<service>\" \"reload\" \"<core log name>\"";
    return request;
  }
  if (!SameTextAscii(args[1], "reload")) {
    request.error = "unknown action (only \"reload\" is known)";
    return request;
  }
  request.error = ServiceNameProblem(args[0]);
  if (!request.error.empty()) return request;
  const std::string stem = ProgramFromLogName(args[2], request.error);
  if (!request.error.empty()) return request;
  request.service = args[0];
  request.program_name = stem + executable_suffix;
  return request;
}

std::string LogSafe(const std::string& text) {
  std::string out = text.substr(0, kMaxWord);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

std::string ReloadLogLine(const platform::LocalDateTime& at, const std::string& text, const char* line_end) {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", at.year, at.month, at.day, at.hour,
                at.minute, at.second);
  return stamp + text + line_end;
}

int RunReload(const std::vector<std::string>& args, const std::string& own_folder, RestartFunction restart) {
  const std::string log_path = own_folder + kReloadLogName;
  std::string previous;
  if (platform::ReadWholeFile(log_path, previous) == platform::FileReadResult::kOk &&
      previous.size() > kMaxReloadLogBytes)
    platform::WriteWholeFile(log_path, "");
  const char* line_end = platform::PathSeparator() == '\\' ? "\r\n" : "\n";
  const platform::ReloadLog log = [&](const std::string& text) {
    platform::AppendToFile(log_path, ReloadLogLine(platform::LocalNow(), text, line_end));
  };

  std::string shown;
  for (const std::string& arg : args) shown += (shown.empty() ? "\"" : " \"") + LogSafe(arg) + "\"";
  log("Started with " + (shown.empty() ? std::string("no arguments") : shown));
  const ReloadRequest request = ParseReloadArguments(args, platform::ExecutableSuffix());
  if (!request.error.empty()) {
    log("Refused: " + request.error);
    return 2;
  }
  platform::ReloadTarget target;
  target.service = request.service;
  target.program_folder = own_folder;
  target.program_path = own_folder + request.program_name;
  const bool ok = restart(target, log);
  log(ok ? "Finished: service \"" + request.service + "\" restarted"
         : "Failed: service \"" + request.service + "\" was not restarted");
  return ok ? 0 : 1;
}

}  // namespace kv

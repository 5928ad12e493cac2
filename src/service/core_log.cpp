#include "service/core_log.h"

#include <cstdio>
#include <memory>

#include "base/core_log_writer.h"
#include "platform/files.h"
#include "platform/program_folder.h"

namespace kv {
namespace {

std::mutex& LoggerMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<TGDLogger>& ProcessLogger() {
  static std::shared_ptr<TGDLogger> logger;
  return logger;
}

}  // namespace

std::string FormatCoreLogTimestamp(const platform::LocalDateTime& t, char date_separator,
                                   char time_separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d%c%02d%c%04d %02d%c%02d%c%02d", t.day, date_separator, t.month,
                date_separator, t.year, t.hour, time_separator, t.minute, time_separator, t.second);
  return buffer;
}

std::string CoreLogTimestampNow() {
  return FormatCoreLogTimestamp(platform::LocalNow(), platform::DateSeparator(), platform::TimeSeparator());
}

std::string CoreLogFileFor(const std::string& executable_path) {
  size_t name_start = executable_path.find_last_of("\\/:");
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  size_t dot = executable_path.rfind('.');
  size_t name_end = (dot == std::string::npos || dot < name_start) ? executable_path.size() : dot;
  return executable_path.substr(0, name_end) + "_core_log.txt";
}

std::recursive_mutex& CoreLogLock() {
  static std::recursive_mutex lock;
  return lock;
}

TGDLogger::TGDLogger(std::string path, Timestamp timestamp)
    : path_(std::move(path)), timestamp_(std::move(timestamp)) {}

void TGDLogger::WriteStartLine() noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(CoreLogLock());
    platform::WriteWholeFile(path_, "[Start] " + timestamp_() + "\r\n");
  } catch (...) {
  }
}

void TGDLogger::Write(const std::string& text) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(CoreLogLock());
    std::string line;
    line.reserve(text.size() + 32);
    line += '[';
    line += timestamp_();
    line += "] ";
    line += text;
    line += "\r\n";
    platform::AppendToFile(path_, line);
  } catch (...) {
  }
}

std::string CoreLogPath() {
  std::lock_guard<std::mutex> lock(LoggerMutex());
  return ProcessLogger() ? ProcessLogger()->Path() : std::string();
}

void StartCoreLog() {
  std::string exe = platform::ExecutablePath();
  if (exe.empty()) exe = platform::ProgramFolder() + "korvane_monitor";
  auto logger = std::make_shared<TGDLogger>(CoreLogFileFor(exe));
  logger->WriteStartLine();
  {
    std::lock_guard<std::mutex> lock(LoggerMutex());
    ProcessLogger() = logger;
  }
  SetCoreLogSink([logger](const std::string& text) { logger->Write(text); });
}

void EndCoreLog() {
  SetCoreLogSink(nullptr);
  std::lock_guard<std::mutex> lock(LoggerMutex());
  ProcessLogger().reset();
}

}  // namespace kv

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

// The entries of one text: a line each, blank lines left out (a blank text still makes
// one), control characters other than tab written as "\x1B".
std::string Entries(const std::string& prefix, const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(prefix.size() + text.size() + 2);
  size_t line_start = 0;  // where the entry being written starts in `out`
  const auto end_line = [&] {
    if (out.size() > line_start) out += "\r\n";
    line_start = out.size();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_line();
      continue;
    }
    if (out.size() == line_start) out += prefix;
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  end_line();
  if (out.empty()) out = prefix + "\r\n";
  return out;
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

std::recursive_mutex& CoreLogLock() {
  static std::recursive_mutex lock;
  return lock;
}

TGDLogger::TGDLogger(std::string path, Timestamp timestamp)
    : file_(std::move(path), kRotateBytes, true), timestamp_(std::move(timestamp)) {}

void TGDLogger::WriteStartLine() noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(CoreLogLock());
    file_.Restart("[Start] " + timestamp_() + "\r\n");
  } catch (...) {
  }
}

void TGDLogger::Write(const std::string& text) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(CoreLogLock());
    file_.Append(Entries("[" + timestamp_() + "] ", text));
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

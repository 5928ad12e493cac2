#pragma once
// Shared helpers of the collection tests: a core-log recorder, an event recorder, a scratch
// folder and the path of the console program the tests run as a source command.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "base/core_log_writer.h"
#include "platform/event_log.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/write_failures.h"

namespace kv::test {

class LogRecorder {
 public:
  LogRecorder() {
    previous_ = SetCoreLogSink([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(text);
    });
  }
  ~LogRecorder() { SetCoreLogSink(previous_); }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  size_t Count(const std::string& line) const {
    size_t n = 0;
    for (const std::string& l : Lines()) n += l == line;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  CoreLogSink previous_;
};

// Records event-log records as "<type> <id> <text up to the first CR>"; while it lives it
// also receives the records about files that cannot be written.
class EventRecorder : public platform::EventLogSink {
 public:
  EventRecorder() { platform::WriteFailures().SetEvents(this); }
  ~EventRecorder() override { platform::WriteFailures().SetEvents(nullptr); }
  void Report(platform::EventType type, const std::string& text) override { ReportWithId(type, 1, text); }
  void ReportWithId(platform::EventType type, int id, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::to_string(static_cast<int>(type)) + " " + std::to_string(id) + " " +
                       text.substr(0, text.find('\r')));
  }
  std::vector<std::string> Records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> records_;
};

// The warning the verdict now carries for `file`, "Cannot write <file>: <error>"; empty
// while it is written.
inline std::string WriteWarning(const std::string& file) {
  for (const std::string& w : platform::WriteFailures().Warnings())
    if (w.rfind("Cannot write " + file + ": ", 0) == 0) return w;
  return std::string();
}

class ScratchFolder {
 public:
  ScratchFolder() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("kv-collect-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::to_string(++serial));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ChildProgram() {
  return platform::ProgramFolder() + "kv_collect_child" + platform::ExecutableSuffix();
}

inline bool IsWindowsBuild() { return std::string(platform::ExecutableSuffix()) == ".exe"; }

}  // namespace kv::test

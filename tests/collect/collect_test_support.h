#pragma once
// Shared helpers of the collection tests: a core-log recorder, a scratch folder and the
// path of the console program the tests run as a source command.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "base/core_log_writer.h"
#include "platform/process.h"
#include "platform/program_folder.h"

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

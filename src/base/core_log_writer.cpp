#include "base/core_log_writer.h"

#include <mutex>

namespace kv {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

CoreLogSink& Sink() {
  static CoreLogSink sink;
  return sink;
}

// Where the file name of `path` starts: after its last "\", "/" or ":".
size_t FileNameStart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

void WriteCoreLog(const std::string& text) noexcept {
  try {
    CoreLogSink sink;
    {
      std::lock_guard<std::mutex> lock(SinkMutex());
      sink = Sink();
    }
    if (sink) sink(text);
  } catch (...) {
    // The log must never take the caller down with it.
  }
}

CoreLogSink SetCoreLogSink(CoreLogSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  CoreLogSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

std::string CoreLogFileName(const std::string& executable_path) {
  std::string name = executable_path.substr(FileNameStart(executable_path));
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name + kCoreLogSuffix;
}

std::string CoreLogFileFor(const std::string& executable_path) {
  return executable_path.substr(0, FileNameStart(executable_path)) + CoreLogFileName(executable_path);
}

}  // namespace kv

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

}  // namespace kv

#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/event_log.h"

namespace kv::platform {
namespace {

class StderrEventLog : public EventLogSink {
 public:
  void Report(EventType type, const std::string& text) override {
    const std::string line = JournalLine(type, text);
    std::lock_guard<std::mutex> lock(mutex_);
    size_t done = 0;
    while (done < line.size()) {
      ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // stderr closed: the record is lost
      done += static_cast<size_t>(n);
    }
  }

 private:
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<EventLogSink> OpenSystemEventLog(const std::string&) {
  return std::make_unique<StderrEventLog>();
}

bool RegisterEventLogSource(const std::string&, const std::string&) { return true; }

bool UnregisterEventLogSource(const std::string&) { return true; }

}  // namespace kv::platform

#include "http/log_throttle.h"

#include "base/core_log_writer.h"
#include "platform/clock.h"

namespace kv {

CoreLogThrottle::CoreLogThrottle(int budget, uint32_t window_ms, Clock clock, Sink sink)
    : budget_(budget < 1 ? 1 : budget),
      window_ms_(window_ms),
      clock_(clock ? std::move(clock) : Clock(platform::TickCountMs)),
      sink_(sink ? std::move(sink) : Sink([](const std::string& line) { WriteCoreLog(line); })) {}

std::string CoreLogThrottle::TakeSummary(uint32_t now, bool new_window) {
  std::string summary;
  const bool over = !window_open_ || now - window_start_ >= window_ms_;
  if (!over) return summary;
  if (left_out_ > 0) {
    summary = "SOCK.ERROR " + std::to_string(left_out_) + " more connection errors were not written (at most " +
              std::to_string(budget_) + " lines in " + std::to_string(window_ms_ / 1000) + " s)";
    left_out_ = 0;
  }
  if (new_window) {
    window_open_ = true;
    window_start_ = now;
    written_ = 0;
  }
  return summary;
}

void CoreLogThrottle::Write(const std::string& line) {
  std::string summary;
  bool write = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    summary = TakeSummary(clock_(), true);
    write = written_ < budget_;
    if (write)
      ++written_;
    else
      ++left_out_;
  }
  if (!summary.empty()) sink_(summary);
  if (write) sink_(line);
}

void CoreLogThrottle::Flush() {
  std::string summary;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (left_out_ == 0) return;
    summary = TakeSummary(clock_(), false);
  }
  if (!summary.empty()) sink_(summary);
}

}  // namespace kv

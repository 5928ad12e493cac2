#pragma once
// CoreLogThrottle: bounds the core-log lines that clients can cause. Each failed
// connection is worth one "SOCK.ERROR ..." line, so a flood of connections would
// otherwise write one line per connection. Up to `budget` lines are written in each
// window; the rest are counted, and once the window is over one line says how many
// were left out:
//
//   SOCK.ERROR 9995 more connection errors were not written (at most 5 lines in 10 s)
//
// Thread-safe. The core log is written after the throttle's own lock is released.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kv {

class CoreLogThrottle {
 public:
  using Clock = std::function<uint32_t()>;             // milliseconds, may wrap
  using Sink = std::function<void(const std::string&)>;  // where the lines go

  // The defaults write to the core log by the platform's millisecond tick.
  CoreLogThrottle(int budget, uint32_t window_ms, Clock clock = {}, Sink sink = {});

  // Writes `line` unless this window's budget is spent; then it is only counted.
  void Write(const std::string& line);
  // Writes the count of left-out lines once their window is over. Called regularly.
  void Flush();

 private:
  // Under lock_: the summary line due at `now`, or empty; starts a new window when asked.
  std::string TakeSummary(uint32_t now, bool new_window);

  const int budget_;
  const uint32_t window_ms_;
  Clock clock_;
  Sink sink_;
  std::mutex lock_;
  bool window_open_ = false;
  uint32_t window_start_ = 0;
  int written_ = 0;
  uint64_t left_out_ = 0;
};

}  // namespace kv

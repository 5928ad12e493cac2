#pragma once
// TNotifyCommand: the administrator's own command, run once per cycle whose changes reach
// [notify] min_severity, after the pages are published.
//
// The command line is run like a source command (the program folder, a hidden window, at
// most 259 characters, its whole tree ended after [notify] timeout), and always run: a
// name ending in ".txt" is not read as a file. It gets, besides the service's environment:
//   KORVANE_VERDICT        OK, Warning or Critical
//   KORVANE_CHANGE_COUNT   the number of this cycle's changes
//   KORVANE_SUMMARY        one line: the verdict, the most serious change and how many more
//   KORVANE_CHANGES_FILE   a file holding this cycle's change lines (as in the changes
//                          file), removed once the command has ended
// Its exit code and the first 4 KiB of its output go to the core log; the rest of the
// output is read and dropped, so a noisy command neither blocks nor grows memory.
//
// Threads: Submit on the collecting thread; the command runs on a thread of its own, so a
// hung command never holds up a cycle or the HTTP side. A Submit while the previous
// command still runs waits for it, at most its time-out (it is ended then). The
// destructor ends a running command at once.
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/settings.h"
#include "health/changes.h"
#include "platform/process.h"

namespace kv {

struct TNotifySettings {
  static constexpr size_t kMaxLoggedOutput = 4096;

  // The [notify] keys of `settings` (base/settings.h holds their defaults and bounds).
  explicit TNotifySettings(const TSettings& settings = DefaultSettings());

  std::string Command;  // empty: no notification
  int64_t TimeoutSeconds;
  TSeverity MinSeverity;
};

// "information", "warning", "critical": false for anything else.
bool ParseSeverity(const std::string& text, TSeverity& severity);

// KORVANE_SUMMARY: "Critical: Drive 0,0 (...): Online -> Failed (and 2 more changes)", one
// line of at most 500 bytes.
std::string NotifySummary(const std::string& verdict, const std::vector<TChange>& changes);

class TNotifyCommand {
 public:
  using Runner = std::function<platform::ConsoleProcessResult(
      const std::string& command_line, const platform::ConsoleProcessLimits& limits, std::string& output)>;

  // `folder` (with its separator) receives the temporary changes file.
  TNotifyCommand(TNotifySettings settings, std::string folder, Runner runner);
  TNotifyCommand(const TNotifyCommand&) = delete;
  TNotifyCommand& operator=(const TNotifyCommand&) = delete;
  ~TNotifyCommand();

  const TNotifySettings& Settings() const { return settings_; }

  // Starts the command when a change reaches the minimum severity; false when nothing is
  // started (no command, no such change, or the previous one could not be waited for).
  bool Submit(const std::string& verdict, const std::vector<TChange>& changes, int64_t now);
  // Waits for a running command to end (the tests).
  void Wait();
  // Ends a running command at once and starts none from now on; any thread.
  void Stop() { cancel_.Cancel(); }

 private:
  void Run(const std::string& verdict, const std::vector<TChange>& changes, int64_t now);

  TNotifySettings settings_;
  std::string folder_;
  Runner runner_;
  platform::ConsoleProcessCancel cancel_;
  std::thread thread_;
};

}  // namespace kv

#pragma once
// TNotifyCommand: the administrator's own command, run for the changes of the cycles that
// reach [notify] min_severity, after the pages are published.
//
// The command line is run like a source command (the program folder, a hidden window, at
// most 259 characters, its whole tree ended after [notify] timeout and once it has ended),
// and always run: a name ending in ".txt" is not read as a file. It gets, besides the
// service's environment:
//   KORVANE_EVENT          problem, reminder, resolved or test (notify/notify_message.h)
//   KORVANE_VERDICT        OK, Warning or Critical: the verdict of the latest message it tells
//   KORVANE_CHANGE_COUNT   the number of changes it tells; 0 for a reminder or a test
//   KORVANE_SUMMARY        one line: the verdict, the most serious change and how many more
//                          (a reminder's or a test's own summary when it tells no changes)
//   KORVANE_CHANGES_FILE   a file holding those change lines (as in the changes file, oldest
//                          first), removed once the command has ended. A run without changes
//                          (a reminder) holds the verdict's reasons instead, one a line:
//                          "Critical Drive 0,7 (S/N WD-1): Failed" (level, object: text)
// Its exit code and the first 4 KiB of its output go to the core log; the rest of the
// output is read and dropped, so a noisy command neither blocks nor grows memory.
//
// A cycle never waits for the command. Messages submitted while it runs wait, and all that
// waited are told by the next run, joined by one rule (TNotifyRun::Add): a problem stays a
// problem, otherwise the later event; the latest verdict; every change oldest first (the
// newest kMaxLines lines, after one line that counts those left out); the most serious
// change in the summary. A run with changes keeps them when a reminder joins it; a run
// without takes the later one's lines.
//
// Each run not yet done, the running one and the waiting one, is kept in the outbox
// (notify/outbox.h) as a "[command]" entry: written before the run starts, removed once
// it has ended, whatever its result. A run cut off by a stop or a crash is still there at
// the next start and Resume runs it again: at least once, never silently lost. An entry
// names its event ("event=reminder"); one without, from an earlier version, is a problem.
//
// Threads: Submit and Resume on the collecting thread, the command on a thread of its own.
// Stop, from any thread, ends a running command at once and starts none from then on (what
// waits stays in the outbox); the destructor stops and joins the thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "notify/notify_message.h"
#include "notify/notify_settings.h"
#include "notify/outbox.h"
#include "health/changes.h"
#include "platform/process.h"

namespace kv {

// What one run of the command tells: one message or several joined.
struct TNotifyRun {
  static constexpr size_t kMaxLines = 2000;
  static constexpr size_t kMaxLineBytes = 1000;  // a longer change line is cut

  TNotifyEvent Event = TNotifyEvent::Problem;
  std::string Verdict;
  int64_t Time = 0;    // the latest message's, UTC
  uint64_t Count = 0;  // every change told, those left out of Lines too
  TSeverity WorstSeverity = TSeverity::Information;
  std::string WorstText;          // the first of the most serious changes
  std::string OwnSummary;         // a run without changes: the message's summary
  std::deque<std::string> Lines;  // change (or reason) lines without their CR LF, oldest first

  // Joins a later message: its verdict and time replace ours.
  void Add(const TNotifyMessage& later);
  void Add(const TNotifyRun& later);
  std::string Summary() const;
  // KORVANE_CHANGES_FILE's text: the lines left out counted first, then the lines, CR LF.
  std::string ChangesText() const;

  TOutboxEntry ToOutbox() const;
  // False for an entry that names no verdict, or a problem's that tells no change; hostile
  // values are bounded.
  static bool FromOutbox(const TOutboxEntry& entry, TNotifyRun& run);
};

class TNotifyCommand {
 public:
  using Runner = std::function<platform::ConsoleProcessResult(
      const std::string& command_line, const platform::ConsoleProcessLimits& limits, std::string& output)>;

  // `folder` (with its separator) receives the temporary changes file; `outbox` (shared
  // with the webhook) keeps the runs not yet done, null keeps none.
  TNotifyCommand(TNotifySettings settings, std::string folder, Runner runner, TOutbox* outbox = nullptr);
  TNotifyCommand(const TNotifyCommand&) = delete;
  TNotifyCommand& operator=(const TNotifyCommand&) = delete;
  ~TNotifyCommand();

  const TNotifySettings& Settings() const { return settings_; }

  // Takes a message (notify/notify_policy.h decided it is due): it runs now, or with the
  // next run when the command still runs (after a Stop: at the next start). False when
  // nothing is taken (no command, or no thread to run it). The command reads the event in
  // KORVANE_EVENT: problem, reminder, resolved or test.
  bool Submit(const TNotifyMessage& message);
  // The test switch: runs the command once for `message` on the calling thread, with no
  // core-log line and no outbox entry. `exit_code` is -1 when it gave none; `output` holds
  // the first 4 KiB of what it wrote.
  platform::ConsoleProcessResult RunOnce(const TNotifyMessage& message, int& exit_code, std::string& output);
  // Once, at the start: runs again what the outbox holds from before it. Without a command,
  // that is dropped with a core-log line.
  void Resume();
  // Waits until nothing runs or waits (the tests).
  void Wait();
  // Ends a running command at once and starts none from now on; any thread.
  void Stop() { cancel_.Cancel(); }

 private:
  void Work();
  // Runs the command for `run`: the changes file, the environment, the file removed.
  platform::ConsoleProcessResult Run(const TNotifyRun& run, int& exit_code, std::string& output);
  // Run with its core-log lines.
  platform::ConsoleProcessResult Execute(const TNotifyRun& run);
  // Under mutex_: starts the thread unless it runs; false when it cannot be started.
  bool StartLocked();
  // Under mutex_: the outbox's "[command]" entries as they stand.
  void SaveLocked();

  TNotifySettings settings_;
  std::string folder_;
  Runner runner_;
  TOutbox* outbox_;
  platform::ConsoleProcessCancel cancel_;
  std::mutex mutex_;
  std::optional<TNotifyRun> running_;  // written by the thread only
  std::optional<TNotifyRun> waiting_;
  bool busy_ = false;                  // the thread runs
  std::thread thread_;
};

}  // namespace kv

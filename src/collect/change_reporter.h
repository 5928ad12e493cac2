#pragma once
// TChangeReporter: tells the people watching what changed in a collection cycle, and keeps
// the state of the last good cycle across restarts.
//
// Each change goes to:
//   - the system event log: Windows records of type Error, Warning or Information by
//     severity, one event id per kind of change (EventIdOf); Linux journal lines with the
//     priority prefix "<3>", "<4>" or "<6>". At most 50 records a cycle, then one record
//     that counts the rest;
//   - the core log;
//   - korvane_monitor_changes.txt in the program folder: one CR LF line per change with
//     its time and severity, kept across restarts; at 1 MiB it is renamed
//     korvane_monitor_changes.old.txt (replacing an older one) and a new file starts;
//   - the notification command ([notify] command), run once per cycle whose changes reach
//     [notify] min_severity, in the program folder with KORVANE_VERDICT,
//     KORVANE_CHANGE_COUNT, KORVANE_SUMMARY and KORVANE_CHANGES_FILE in its environment,
//     on a thread of its own so that the HTTP side never waits for it and the next cycle
//     waits at most [notify] timeout.
// The saved state is korvane_monitor_state.txt in the program folder, written through a
// temporary file and a rename.
//
// config_http.txt keys (read by TScanListManager::Configure):
//   [notify] command (empty: none; at most 259 characters, always run, never read as a
//            file), timeout (s, default 60), min_severity (information, warning or
//            critical; default warning)
//
// Threads: every method on the collecting thread; the destructor ends a command still
// running and waits for its thread.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "health/changes.h"
#include "health/verdict.h"

namespace kv {

class TCollectEnv;

struct TNotifySettings {
  std::string Command;
  int64_t TimeoutSeconds = 60;
  TSeverity MinSeverity = TSeverity::Warning;
};

class TChangeReporter {
 public:
  TChangeReporter(TCollectEnv& env, TNotifySettings settings);
  ~TChangeReporter();
  TChangeReporter(const TChangeReporter&) = delete;
  TChangeReporter& operator=(const TChangeReporter&) = delete;

  // The saved state of the last good cycle. Returns false when there is none (`existed`
  // false: the very first run) or it cannot be read (`existed` true; one core-log line).
  bool LoadState(TStateSnapshot& snapshot, bool& existed);
  void SaveState(const TStateSnapshot& snapshot);

  // One cycle's changes, told everywhere; the notification command when one of them
  // reaches the minimum severity. `verdict` is the cycle's verdict.
  void Report(const std::vector<TChange>& changes, const THealthVerdict& verdict);
  // The very first run has nothing to compare with: one event with the verdict when it is
  // not OK, and nothing else.
  void ReportFirstVerdict(const THealthVerdict& verdict);

  // The last 50 change lines, oldest first.
  std::vector<TChangeLine> Recent() const;
  // Changes told since the start, by severity (Information, Warning, Critical).
  std::array<uint64_t, 3> Totals() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace kv

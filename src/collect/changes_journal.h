#pragma once
// TChangesJournal: the files beside the program that outlive a cycle and a restart.
//
//   korvane_monitor_changes.txt   one CR LF line per change, "2026-12-09 03:10:00 critical
//                                 Drive 0,7 (...): Online -> Failed"; at 1 MiB it becomes
//                                 korvane_monitor_changes.old.txt (replacing an older one)
//                                 and a new file starts
//   korvane_monitor_state.txt     the state of each controller's last good cycle (a format
//                                 line first; a file of one controller's state from an
//                                 earlier version is read as controller 1's), written to a temporary
//                                 file and renamed over the old one, so a stop never leaves
//                                 half a state behind
//
// An empty folder keeps nothing (tests of the cycle). A write that fails is told once and
// becomes a warning of the verdict (platform/write_failures.h); lines are written whole or
// not at all. Threads: the collecting thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "health/changes.h"
#include "platform/write_failures.h"

namespace kv {

class TChangesJournal {
 public:
  static constexpr uint64_t kRotateBytes = 1u << 20;

  // `folder` ends with the path separator, or is empty.
  explicit TChangesJournal(std::string folder = std::string());

  // Lines that cannot be written are kept (the newest MiB of them) and go first at the
  // next call, with or without changes of its own.
  void Append(const std::vector<TChange>& changes, int64_t now);

  // False when there is no saved state (`existed` false: the very first run) or it cannot
  // be read back (`existed` true; one core-log line says so).
  // `notes` is the notifications' memory kept with the state (health/changes.h).
  bool LoadState(TStateSnapshots& snapshots, bool& existed, std::vector<std::string>* notes = nullptr);
  void SaveState(const TStateSnapshots& snapshots, const std::vector<std::string>& notes = {});

 private:
  std::string folder_;
  platform::TLineFile changes_;
  std::string unwritten_;
};

}  // namespace kv

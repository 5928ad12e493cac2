#pragma once
// THistoryStore: the drive history file, an SQLite database (korvane_monitor_history.db
// beside the program unless [history] file says otherwise).
//
// Tables (one row per sample; times are Unix seconds, UTC):
//   drive_samples       time, controller, drive, serial, channel, id, state, smart, then one
//                       INTEGER column per KeptDriveValues() entry (NULL: not reported);
//                       primary key (drive, time)
//   device_samples      time, controller, kind, number, status, members
//   controller_samples  time, controller, status, temperature, backup_status, backup_temperature
// A file made by an older version gains the columns it lacks when opened.
//
// Durability: WAL journal, synchronous=FULL, one transaction per Write, so a sample that
// Write reported as written survives a crash or a power cut.
//
// One object per connection, used by one thread at a time. The writer opens it read-write;
// each HTTP answer opens its own read-only one (OpenReadOnly), which WAL lets read while
// the writer writes.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_values.h"

struct sqlite3;

namespace kv {

// One drive_samples row as read back.
struct TStoredDriveRow {
  int64_t Time = 0;
  int Controller = 1;
  std::string Drive;
  std::string Serial;
  std::string Channel;
  std::string Id;
  std::string State;
  std::string Smart;
  std::array<std::optional<int64_t>, kKeptDriveValueCount> Values;
};

struct TSeriesPoint {
  int64_t Time = 0;
  int64_t Value = 0;
};

// Which drive rows to read.
struct THistoryQuery {
  std::string Serial;  // empty: every drive; else the drives with this serial or drive key
  std::string Drive;   // not empty: this drive key only, read through the (drive, time) key
  int64_t From = 0;    // inclusive
  int64_t To = INT64_MAX;  // inclusive
};

enum class THistoryWrite {
  Written,
  Skipped,  // the disk is full, the file is locked or cannot be written: try the next interval
  Damaged,  // the file is not a sound database: move it aside and start a new one
};

class THistoryStore {
 public:
  THistoryStore(const THistoryStore&) = delete;
  THistoryStore& operator=(const THistoryStore&) = delete;
  ~THistoryStore();

  // Opens `path` read-write, creating it and its tables when missing. A file that is not
  // a database or fails "PRAGMA quick_check" is renamed aside to
  // "<path>.damaged-YYYYMMDD-HHMMSS" (the local time `local_stamp`, 15 characters) with its
  // -wal and -shm files, and a new one started: `moved_to` then names the renamed file.
  // Null with `error` set when the file can be neither opened nor started anew.
  static std::unique_ptr<THistoryStore> Open(const std::string& path, const std::string& local_stamp,
                                             std::string& moved_to, std::string& error);
  // Null with `error` set when the file is missing or cannot be read.
  static std::unique_ptr<THistoryStore> OpenReadOnly(const std::string& path, std::string& error);

  // One sample in one transaction (a sample already stored for a drive and time is kept).
  THistoryWrite Write(const THistorySample& sample, std::string& error);
  // Several in one transaction: the fast path for many controllers or a generated history.
  THistoryWrite Write(const std::vector<THistorySample>& samples, std::string& error);
  // Deletes the samples older than `before`; false with `error` on failure.
  bool Purge(int64_t before, std::string& error);

  // The newest sample time of each controller.
  std::map<int, int64_t> LastSampleTimes();
  // The drive rows of `query`, ordered by drive then time, each handed to `row` as it is
  // read; `row` returns false to stop. False with `error` when the read failed.
  bool ReadDriveRows(const THistoryQuery& query, const std::function<bool(const TStoredDriveRow&)>& row,
                     std::string& error);
  // Value `value_index` of `drive` from `from` to `to`, at most `max_points` points: the
  // samples as they are when fewer, else the largest value of each of max_points equal
  // spans of the time the samples cover (so a spike is never averaged away), each at the
  // time of its largest value. Samples without the value are left out.
  std::vector<TSeriesPoint> Series(const std::string& drive, size_t value_index, int64_t from, int64_t to,
                                   size_t max_points);
  // The newest sample of `drive` at or before `time`, if any.
  std::optional<TStoredDriveRow> DriveRowAt(const std::string& drive, int64_t time);

 private:
  explicit THistoryStore(sqlite3* db);
  sqlite3* db_;
};

// At most `max_points` of `points` (ordered by time): all of them when fewer, else the
// largest value of each of max_points equal spans of the time they cover, at the time it
// was seen, so a spike is never averaged away. What Series returns; the charts use it on
// rows already read.
std::vector<TSeriesPoint> KeepLargestPerSpan(std::vector<TSeriesPoint> points, size_t max_points);

// Renames `path` to "<path>.damaged-<local_stamp>" with its journal files, as Open does
// with a file that fails its check: for a file a Write found Damaged that the check passes
// (quick_check does not compare indexes with their tables). Close every store of it first.
bool MoveDamagedHistory(const std::string& path, const std::string& local_stamp, std::string& moved_to,
                        std::string& error);

// The SQLite library's version text ("3.40.1"), for the README's claims and the log.
const char* HistoryLibraryVersion();

}  // namespace kv

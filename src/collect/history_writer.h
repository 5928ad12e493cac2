#pragma once
// THistoryWriter: writes the samples the cycles take into the drive history file, renders
// each drive's History section after each write, and deletes old samples once a day, all
// on a thread of its own, so a slow or full disk never delays a page.
//
// The store is opened on that thread when the writer starts. What it then finds is handed
// back to the collecting thread, which takes it when it likes:
//   - the samples of the last week (TakeWindowRows), for the growth check the cycles run
//     in memory;
//   - the History sections of the drives it has seen (Sections), rendered again after each
//     write of their controller;
//   - a "history restarted" change when the file was damaged and started anew
//     (TakeChanges).
// A file that cannot be opened is tried again with each sample. A sample that cannot be
// written (disk full, file locked by another program) is skipped; one core-log line says
// so, and one more when writing works again. Samples wait in a short queue; when the disk
// is slower than the samples come, the oldest waiting one is dropped.
//
// Threads: Submit, Sections, TakeChanges and TakeWindowRows from the collecting thread (or
// any); the destructor waits for the sample being written, drops the rest and joins.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "health/changes.h"
#include "history/history_store.h"
#include "history/history_values.h"
#include "pages/history_section.h"

namespace kv {

struct THistoryWriterOptions {
  std::string Path;       // the database file
  int64_t KeepDays = 730;
  int64_t Interval = 3600;  // seconds; a controller's interval that already has a sample gets no second
  std::function<int64_t()> UtcNow;          // Unix seconds
  std::function<std::string()> LocalStamp;  // "YYYYMMDD-HHMMSS", for a damaged file's new name
  int ZoneBiasMinutes = 0;                  // for the charts' dates
};

class THistoryWriter {
 public:
  static constexpr size_t kMaxWaiting = 16;  // samples; a controller each, a few intervals
  static constexpr int64_t kWindowSeconds = 7 * 86400;

  explicit THistoryWriter(THistoryWriterOptions options);
  THistoryWriter(const THistoryWriter&) = delete;
  THistoryWriter& operator=(const THistoryWriter&) = delete;
  ~THistoryWriter();

  // Queues one controller's sample; never waits for the disk.
  void Submit(THistorySample sample);
  // Controller `controller`'s drive sections as last rendered; null before the first.
  std::shared_ptr<const THistorySections> Sections(int controller) const;
  // The changes to tell since the last call.
  std::vector<TChange> TakeChanges();
  // Once: the last week's drive samples found when the store was opened (empty before).
  std::vector<TStoredDriveRow> TakeWindowRows();
  // Waits until the queue is empty and the thread idle (tests).
  void Wait();

 private:
  void Work();
  bool EnsureOpen();
  void WriteOne(const THistorySample& sample);
  void RenderSections(int controller, const std::vector<std::string>& drives);
  void PurgeIfDue(int64_t now);
  void LogOnce(bool& logged, const std::string& line);
  // Logs and tells that the file was damaged and is kept as `moved_to`.
  void NoteRestarted(const std::string& moved_to);
  std::string Stamp() const;

  THistoryWriterOptions options_;
  std::unique_ptr<THistoryStore> store_;  // the thread's only
  bool open_failure_logged_ = false;
  bool write_failure_logged_ = false;
  int64_t last_purge_ = 0;
  std::map<int, int64_t> last_times_;  // of each controller's newest sample in the file

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<THistorySample> waiting_;
  bool busy_ = false;
  bool stopping_ = false;
  std::map<int, std::shared_ptr<const THistorySections>> sections_;
  std::vector<TChange> changes_;
  std::vector<TStoredDriveRow> window_rows_;
  std::thread thread_;
};

// The charts' input for one drive: its rows over the whole history, oldest first. Each
// kept value is given when it is temperature or not zero somewhere; each range is at most
// `max_points` points (the largest value of equal spans of time).
std::vector<THistoryChartInput> ChartInputs(const std::vector<TStoredDriveRow>& rows, size_t max_points);

}  // namespace kv

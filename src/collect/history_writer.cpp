#include "collect/history_writer.h"

#include <algorithm>
#include <set>
#include <utility>

#include "base/core_log_writer.h"

namespace kv {

namespace {

constexpr int64_t kDay = 86400;
constexpr size_t kChartPoints = 300;
constexpr int64_t kRangeSeconds[] = {7 * kDay, 90 * kDay, 0};  // 0: the whole history

// The points of one value from `from` on, thinned out to `max_points`.
std::vector<TSeriesPoint> RangePoints(const std::vector<TStoredDriveRow>& rows, size_t index, int64_t from,
                                      size_t max_points) {
  std::vector<TSeriesPoint> points;
  for (const TStoredDriveRow& row : rows)
    if (row.Time >= from && row.Values[index]) points.push_back({row.Time, *row.Values[index]});
  return KeepLargestPerSpan(std::move(points), max_points);
}

// The newest value at or before `time`.
std::optional<int64_t> ValueAt(const std::vector<TStoredDriveRow>& rows, size_t index, int64_t time) {
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    if (it->Time <= time && it->Values[index]) return it->Values[index];
  return std::nullopt;
}

}  // namespace

std::vector<THistoryChartInput> ChartInputs(const std::vector<TStoredDriveRow>& rows, size_t max_points) {
  std::vector<THistoryChartInput> inputs;
  if (rows.empty()) return inputs;
  const int64_t newest = rows.back().Time;
  const auto kept = KeptDriveValues();
  for (size_t index = 0; index < kept.size(); ++index) {
    bool shown = false;
    bool any = false;
    for (const TStoredDriveRow& row : rows) {
      if (!row.Values[index]) continue;
      any = true;
      shown = shown || kept[index].AlwaysCharted || *row.Values[index] != 0;
    }
    if (!any || !shown) continue;
    THistoryChartInput input;
    input.ValueIndex = index;
    for (size_t r = 0; r < 3; ++r) {
      const int64_t from = kRangeSeconds[r] == 0 ? INT64_MIN : newest - kRangeSeconds[r];
      input.Ranges[r] = RangePoints(rows, index, from, max_points);
    }
    input.Last = ValueAt(rows, index, newest);
    input.Ago24h = ValueAt(rows, index, newest - kDay);
    input.Ago30d = ValueAt(rows, index, newest - 30 * kDay);
    inputs.push_back(std::move(input));
  }
  return inputs;
}

THistoryWriter::THistoryWriter(THistoryWriterOptions options) : options_(std::move(options)) {
  busy_ = true;  // until the store is opened and the last week read
  thread_ = std::thread([this] { Work(); });
}

THistoryWriter::~THistoryWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void THistoryWriter::Submit(THistorySample sample) {
  bool dropped = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    if (waiting_.size() >= kMaxWaiting) {
      waiting_.pop_front();
      dropped = true;
    }
    waiting_.push_back(std::move(sample));
  }
  wake_.notify_one();
  if (dropped) WriteCoreLog("ERROR! history: the disk is slower than the samples come; the oldest waiting sample is dropped");
}

std::shared_ptr<const THistorySections> THistoryWriter::Sections(int controller) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = sections_.find(controller);
  return it == sections_.end() ? nullptr : it->second;
}

std::vector<TChange> THistoryWriter::TakeChanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(changes_, {});
}

std::vector<TStoredDriveRow> THistoryWriter::TakeWindowRows() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(window_rows_, {});
}

void THistoryWriter::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return stopping_ || (!busy_ && waiting_.empty()); });
}

void THistoryWriter::LogOnce(bool& logged, const std::string& line) {
  if (logged) return;
  logged = true;
  WriteCoreLog(line);
}

bool THistoryWriter::EnsureOpen() {
  if (store_) return true;
  std::string moved_to, error;
  store_ = THistoryStore::Open(options_.Path, Stamp(), moved_to, error);
  if (!store_) {
    LogOnce(open_failure_logged_, "ERROR! history: cannot open " + options_.Path + ": " + error +
                                      "; samples are skipped until it can be");
    return false;
  }
  if (open_failure_logged_) WriteCoreLog("history: " + options_.Path + " is open again");
  open_failure_logged_ = false;
  if (!moved_to.empty()) NoteRestarted(moved_to);
  last_times_ = store_->LastSampleTimes();
  return true;
}

void THistoryWriter::NoteRestarted(const std::string& moved_to) {
  WriteCoreLog("ERROR! history: " + options_.Path + " was damaged; it is kept as " + moved_to +
               " and a new history is started");
  TChange change;
  change.Kind = TChangeKind::HistoryRestarted;
  change.Severity = TSeverity::Information;
  change.Text = "Drive history restarted: the file was damaged and is kept as " + moved_to;
  change.Object = "Drive history";
  std::lock_guard<std::mutex> lock(mutex_);
  changes_.push_back(std::move(change));
}

std::string THistoryWriter::Stamp() const { return options_.LocalStamp ? options_.LocalStamp() : std::string(); }

void THistoryWriter::Work() {
  // The last week, for the growth check, and the sections of the drives it holds.
  if (EnsureOpen()) {
    const int64_t now = options_.UtcNow ? options_.UtcNow() : 0;
    std::vector<TStoredDriveRow> rows;
    std::string error;
    THistoryQuery query;
    query.From = now - kWindowSeconds;
    if (!store_->ReadDriveRows(query, [&rows](const TStoredDriveRow& row) {
          rows.push_back(row);
          return true;
        }, error))
      WriteCoreLog("ERROR! history: cannot read the last week: " + error);
    std::map<int, std::set<std::string>> drives;
    for (const TStoredDriveRow& row : rows) drives[row.Controller].insert(row.Drive);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      window_rows_ = std::move(rows);
    }
    for (const auto& [controller, keys] : drives)
      RenderSections(controller, std::vector<std::string>(keys.begin(), keys.end()));
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    busy_ = false;
    idle_.notify_all();
    wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) break;
    THistorySample sample = std::move(waiting_.front());
    waiting_.pop_front();
    busy_ = true;
    lock.unlock();
    WriteOne(sample);
    lock.lock();
  }
  busy_ = false;
  idle_.notify_all();
}

void THistoryWriter::WriteOne(const THistorySample& sample) {
  if (!EnsureOpen()) return;
  // A restart within an interval: its sample was taken by the run before.
  if (const auto last = last_times_.find(sample.Controller);
      last != last_times_.end() &&
      HistoryInterval(last->second, options_.Interval) == HistoryInterval(sample.Time, options_.Interval))
    return;
  std::string error;
  THistoryWrite result = store_->Write(sample, error);
  if (result == THistoryWrite::Damaged) {
    // The file's check may pass what a write found broken (an index that disagrees with
    // its table): it is moved aside all the same, and the sample goes to a new one.
    store_.reset();
    std::string moved_to, move_error;
    if (MoveDamagedHistory(options_.Path, Stamp(), moved_to, move_error)) NoteRestarted(moved_to);
    else WriteCoreLog("ERROR! history: " + options_.Path + " is damaged and cannot be moved aside: " + move_error);
    if (!EnsureOpen()) return;
    result = store_->Write(sample, error);
  }
  if (result != THistoryWrite::Written) {
    LogOnce(write_failure_logged_, "ERROR! history: a sample is skipped: " + error +
                                       "; the history carries on when it can be written");
    return;
  }
  last_times_[sample.Controller] = sample.Time;
  if (write_failure_logged_) WriteCoreLog("history: samples are written again");
  write_failure_logged_ = false;
  std::vector<std::string> drives;
  drives.reserve(sample.Drives.size());
  for (const TDriveSample& d : sample.Drives) drives.push_back(d.Drive);
  RenderSections(sample.Controller, drives);
  PurgeIfDue(sample.Time);
}

void THistoryWriter::RenderSections(int controller, const std::vector<std::string>& drives) {
  auto sections = std::make_shared<THistorySections>();
  std::vector<TStoredDriveRow> rows;
  for (const std::string& drive : drives) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
    }
    rows.clear();
    THistoryQuery query;
    query.Drive = drive;
    std::string error;
    if (!store_->ReadDriveRows(query, [&rows](const TStoredDriveRow& row) {
          rows.push_back(row);
          return true;
        }, error)) {
      WriteCoreLog("ERROR! history: cannot read the samples of drive " + drive + ": " + error);
      continue;
    }
    const int64_t now = rows.empty() ? 0 : rows.back().Time;
    (*sections)[drive] = RenderHistorySection(ChartInputs(rows, kChartPoints), now, options_.ZoneBiasMinutes);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  sections_[controller] = std::move(sections);
}

void THistoryWriter::PurgeIfDue(int64_t now) {
  if (now - last_purge_ < kDay) return;
  last_purge_ = now;
  std::string error;
  if (!store_->Purge(now - options_.KeepDays * kDay, error))
    WriteCoreLog("ERROR! history: cannot delete the samples older than " + std::to_string(options_.KeepDays) +
                 " days: " + error);
}

}  // namespace kv

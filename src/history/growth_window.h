#pragma once
// TGrowthWindow: the predictive values (KeptDriveValues() marked Predictive) of every drive
// over the last 7 days, in memory, so that each cycle can tell which of them grew without
// reading the history file.
//
// Growth: a value grew when its newest reading is above its reading at the start of the
// window, counted from after the last drop if there was one. A counter does not go down on
// its own: a drop is a reset (another drive in the same place, a cleared log), so a reset
// is never growth, and growth after it counts from the low value. A high value that stays
// where it is does not grow.
//
// Bounded: a drive keeps only the readings where a value changed plus the newest one, at
// most kGrowthPointsPerDrive of them; a drive not seen for 7 days is dropped by Prune.
// Readings of a drive older than its newest are ignored: the store's rows are added oldest
// first, and rows loaded after the cycles' first samples come in through TakeEarlier. Times are Unix seconds, UTC.
//
// One per controller, owned by its cycle state; the thread that runs the cycle.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "health/verdict.h"
#include "history/history_store.h"
#include "history/history_values.h"
#include "model/kv_core.h"

namespace kv {

inline constexpr int64_t kGrowthWindowSeconds = 7 * 24 * 3600;
inline constexpr size_t kGrowthPointsPerDrive = 200;

// One value that grew.
struct TGrowth {
  size_t Value = 0;    // its index in KeptDriveValues()
  int64_t From = 0;    // at the start of the window, or just after the last drop
  int64_t To = 0;      // the newest reading
  int64_t Since = 0;   // when From was read (the window's start when it was read before)
  int64_t Until = 0;   // when To was read
};

// "attribute 5 grew from 8 to 24 in 7 days" ("in 1 day" for a day or less).
std::string GrowthText(const TGrowth& growth);

class TGrowthWindow {
 public:
  void Add(const THistorySample& sample);
  void Add(const TStoredDriveRow& row);
  // Puts the readings of `earlier` (the store's, loaded while cycles already added theirs)
  // before this window's own: of each drive, those older than its first reading here.
  void TakeEarlier(TGrowthWindow&& earlier);
  // Forgets what is older than the window ending at `now` (the reading in effect at its
  // start is kept) and the drives not seen within it.
  void Prune(int64_t now);

  // The values of `drive` (a DriveHistoryKeys key) that grew, in KeptDriveValues() order.
  std::vector<TGrowth> GrowthOf(const std::string& drive) const;

  size_t DriveCount() const { return drives_.size(); }
  size_t PointCount(const std::string& drive) const;

 private:
  static constexpr int64_t kAbsent = INT64_MIN;
  struct TPoint {
    int64_t Time = 0;
    std::array<int64_t, kKeptDriveValueCount> Values{};  // kAbsent: not read, or not predictive
  };
  void AddPoint(const std::string& drive, int64_t time,
                const std::array<std::optional<int64_t>, kKeptDriveValueCount>& values);
  // Appends a reading newer than the last, keeping the drive's points bounded.
  static void Append(std::vector<TPoint>& points, const TPoint& point);

  std::unordered_map<std::string, std::vector<TPoint>> drives_;
  int64_t start_ = INT64_MIN;  // the window's start as of the last Prune
};

// One Warning reason per grown value of the drives of `core` (controller `controller`),
// after the reasons already there: "Drive 0,3 (S/N X)": "attribute 5 grew from 8 to 24 in
// 7 days". With `texts`, one entry per drive of core.Result.HDDs: its growth texts joined
// by ", ", empty when nothing grew (the main page marks those drives).
void AddGrowthReasons(const TGrowthWindow& window, const TKVCore& core, int controller, THealthVerdict& verdict,
                      std::vector<std::string>* texts = nullptr);

}  // namespace kv

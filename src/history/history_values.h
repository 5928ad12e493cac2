#pragma once
// What the drive history keeps: one sample per controller per interval, taken from the
// first good collection of that interval.
//
// KeptDriveValues() is the one table of the numbers kept for every drive: its column in
// the store, its name on the pages and in the growth reason, and whether its growth is
// a warning. The store's columns, the CSV header, the charts and the growth check all
// follow it; a value added here is added to an existing file as a new column.
//
// A drive is known by its serial number; where serials repeat in a listing (or are
// missing), by its controller, channel and id ("c1:0,3"), as the change lines do.
//
// Pure functions over one cycle's model; any thread that owns the model.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "health/smart_verdict.h"
#include "model/kv_core.h"

namespace kv {

struct TKeptValue {
  const char* Column;  // "attr_5": the store's column and the CSV/JSON name
  const char* Label;   // "attribute 5": charts, growth reasons
  bool Predictive;     // growth within a week is a Warning
  bool AlwaysCharted;  // charted even when zero all along (temperature)
};

// Temperature, power-on hours, SATA attributes 5, 187, 188, 197, 198 and 199 (raw), the
// SAS grown defect list, then the error counters the drive page shows.
constexpr size_t kKeptDriveValueCount = 15;
std::span<const TKeptValue> KeptDriveValues();
// The index of `column` in KeptDriveValues(), or -1.
int KeptValueIndex(const char* column);

struct TDriveSample {
  std::string Drive;  // the key: the serial, or "c<controller>:<channel>,<id>"
  std::string Serial;
  std::string Channel;
  std::string Id;
  std::string State;  // as listed: "Online"
  std::string Smart;  // the SMART verdict word: "Good", "Caution", "Bad"
  std::array<std::optional<int64_t>, kKeptDriveValueCount> Values;  // absent: not reported
};

// A logical ("logical") or zepCache ("cache") device.
struct TDeviceSample {
  std::string Kind;
  std::string Number;
  std::string Status;
  std::string Members;  // drive places, "0,0 0,1"
};

struct TControllerSample {
  std::string Status;
  std::optional<int64_t> Temperature;
  std::string BackupStatus;
  std::optional<int64_t> BackupTemperature;
};

// One controller at one interval.
struct THistorySample {
  int64_t Time = 0;  // Unix seconds (UTC) of the collection
  int Controller = 1;
  TControllerSample ControllerValues;
  std::vector<TDeviceSample> Devices;
  std::vector<TDriveSample> Drives;
};

// The key of every drive of core.Result.HDDs, in the same order (see TDriveSample::Drive).
std::vector<std::string> DriveHistoryKeys(const TKVCore& core, int controller);

// The sample of a good cycle's model; `verdicts` holds JudgeDrives(core, ...).
THistorySample TakeHistorySample(const TKVCore& core, const std::vector<TSmartVerdict>& verdicts, int controller,
                                 int64_t utc_time);

// The interval a time falls in: floor(time / interval).
inline int64_t HistoryInterval(int64_t utc_time, int64_t interval) {
  return interval <= 0 ? utc_time : (utc_time >= 0 ? utc_time / interval : (utc_time - interval + 1) / interval);
}

}  // namespace kv

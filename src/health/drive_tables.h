#pragma once
// Where a drive's readings are in the model: its SATA attribute table, its SAS parameter
// table and its error-counter record (each the first entry of the drive's channel and id),
// its temperature text, and the leading whole number of a reading.
//
// The SMART verdict and the drive history read drives through this, so both find the same
// table for a drive. A TDriveTables indexes the lists once and points into the model: it
// lives no longer than the model. Pure; any thread that owns the model.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/kv_core.h"

namespace kv {

class TDriveTables {
 public:
  explicit TDriveTables(const TKVCore& core);
  // Null when the drive has none.
  const TKVSATASmartParams* Sata(const TResultHDD& drive) const;
  const TKVSASSmartParams* Sas(const TResultHDD& drive) const;
  const TKVStatsPhysP* Stats(const TResultHDD& drive) const;

 private:
  std::unordered_map<std::string, const TKVSATASmartParams*> sata_;
  std::unordered_map<std::string, const TKVSASSmartParams*> sas_;
  std::unordered_map<std::string, const TKVStatsPhysP*> stats_;
};

// The leading whole number of a counter or temperature text ("36 C/ 96 F" -> 36,
// "0x1F" -> 31); -1 when there is none. Saturates instead of overflowing.
int64_t LeadingCount(std::string_view text);

// The SMART temperature when known, else the drive's own "Temperature: " line.
std::string DriveTemperature(const TResultHDD& drive);

}  // namespace kv

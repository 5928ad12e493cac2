#pragma once
// The SMART verdict of one drive: Good, Caution or Bad, with the reasons.
//
//   Bad      the drive has failed, or a SAS drive's health is not OK
//   Caution  a raw value above 0 of SATA attribute 5, 187, 188, 197 or 198 (the counters that
//            failure studies found predictive), medium errors or SMART warnings in the
//            drive's error counters, or a temperature above the configured maximum
//
// Pure functions over one cycle's model; any thread that owns the model.
#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"
#include "model/kv_core.h"

namespace kv {

enum class TSmartGrade { Good = 0, Caution = 1, Bad = 2 };

// "Good", "Caution", "Bad".
const char* SmartGradeWord(TSmartGrade grade);

struct TSmartVerdict {
  TSmartGrade Grade = TSmartGrade::Good;
  std::vector<std::string> Reasons;  // "attribute 5 (0x05) raw 12", "temperature 61 C above 55 C"
  std::vector<int32_t> Attributes;   // SATA attribute ids that caused it
};

// [health] drive_temperature_max when not configured.
inline int DefaultDriveTemperatureMax() { return static_cast<int>(DefaultSettings().drive_temperature_max); }

// One verdict per drive of core.Result.HDDs, in the same order. Linear in the model.
std::vector<TSmartVerdict> JudgeDrives(const TKVCore& core, int temperatureMax);

}  // namespace kv

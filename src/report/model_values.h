#pragma once
// Numbers and facts the metrics and the JSON state document read out of the model's texts.
// A text that cannot be read gives std::nullopt, so the caller leaves the value out rather
// than publishing a wrong one.
//
//   LeadingNumber("48 C/ 118 F (Normal)") -> 48     LeadingNumber("N/A") -> nullopt
//   SizeBytes("2861568 MB") -> 2861568 * 2^20       SizeBytes("12") -> nullopt (no unit)
//   WholeNumber("219044773919") -> 219044773919     WholeNumber("12a") -> nullopt
//
// Pure; any thread.
#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/kv_core.h"

namespace kv {

class TKVSmartNamesList;

// The number the trimmed text starts with: optional '-', digits, optional '.' and digits.
std::optional<double> LeadingNumber(std::string_view text);
// The whole trimmed text as a decimal number (digits, at most one '.'); nothing else.
std::optional<double> WholeNumber(std::string_view text);
// A leading number followed by a unit B/Bytes/KB/MB/GB/TB/PB (binary multiples, any case).
std::optional<double> SizeBytes(std::string_view text);
// A counter with the unit of the controller log ("MB", "KB", ... or empty for bytes).
std::optional<double> CounterBytes(std::string_view count, std::string_view unit);

// A number as both outputs print it: whole values below 2^53 without exponent or point
// ("1765000000"), others in their shortest exact form ("0.45").
std::string FormatNumber(double value);
// The same, appended to `out`.
void AppendNumber(std::string& out, double value);

// Status text reads Optimal or OK, without regard to case or surrounding blanks.
bool StatusOk(std::string_view status);
// State contains Failed, Defunct, Missing or Offline, without regard to case.
bool DriveFailed(std::string_view state);

// The value of the first "key: value" line whose key equals `key` (ASCII case ignored).
std::string LineValue(const TStringList& lines, std::string_view key);
// The controller firmware from the version lines.
std::string ControllerFirmware(const TResultController& controller);
// The SMART temperature when known, else the drive's own "Temperature" line.
std::string DriveTemperatureText(const TResultHDD& drive);
// The SATA and SAS attribute tables of the drives, each the first list entry whose channel
// and device id equal the drive's; indexed once, so a rendering stays linear in the drives.
class TSmartTables {
 public:
  explicit TSmartTables(const TKVCore& core);
  // The table of the drive, or nullptr.
  const TKVSATASmartParams* Sata(const TResultHDD& drive) const;
  const TKVSASSmartParams* Sas(const TResultHDD& drive) const;

 private:
  using Key = std::pair<std::string_view, std::string_view>;  // channel, id
  std::map<Key, const TKVSATASmartParams*> sata_;
  std::map<Key, const TKVSASSmartParams*> sas_;
};
// The statistics record of a drive, or nullptr.
const TKVStatsPhysP* DriveStatsOf(const TKVCore& core, const TResultHDD& drive);
// The controller-log record of a logical device number, or nullptr.
const TKVStatsLDP* LogicalDeviceStatsOf(const TKVCore& core, const std::string& number);
// The name of a SATA attribute: what the drive reported itself, else the shipped table.
std::string SataAttributeName(const TKVCore& core, const TResultHDD& drive, int32_t attributeId,
                              const TKVSmartNamesList& names);
// The same for the attributes of one drive, its channel and device id read once.
class TSataAttributeNames {
 public:
  TSataAttributeNames(const TKVCore& core, const TResultHDD& drive, const TKVSmartNamesList& names);
  std::string Of(int32_t attributeId) const;

 private:
  const TKVCore& core_;
  const TKVSmartNamesList& names_;
  bool own_ = false;  // the drive's numbers can name its own attributes
  int32_t channel_ = 0, id_ = 0;
};

// Error counter kinds of the physical-drive statistics with their values.
struct DriveErrorCount {
  const char* Kind;
  const std::string* Text;
};
std::array<DriveErrorCount, 6> DriveErrorCounts(const TKVStatsPhysP& stats);

}  // namespace kv

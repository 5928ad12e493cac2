#include "history/history_values.h"

#include <cstring>

#include "health/drive_tables.h"
#include "health/verdict.h"

namespace kv {
namespace {

constexpr TKeptValue kKept[] = {
    {"temperature", "temperature", false, true},
    {"power_on_hours", "power-on hours", false, false},
    {"attr_5", "attribute 5", true, false},
    {"attr_187", "attribute 187", true, false},
    {"attr_188", "attribute 188", true, false},
    {"attr_197", "attribute 197", true, false},
    {"attr_198", "attribute 198", true, false},
    {"attr_199", "attribute 199", false, false},  // cable CRC errors: the cable, not the drive
    {"grown_defects", "grown defects", true, false},
    {"hardware_errors", "hardware errors", false, false},
    {"medium_errors", "medium errors", true, false},
    {"parity_errors", "parity errors", false, false},
    {"link_failures", "link failures", false, false},
    {"aborted_commands", "aborted commands", false, false},
    {"smart_warnings", "SMART warnings", false, false},
};
static_assert(std::size(kKept) == kKeptDriveValueCount);

// The positions in kKept of what TakeHistorySample reads.
enum : size_t {
  kTemperature,
  kPowerOnHours,
  kFirstAttribute,  // 5, 187, 188, 197, 198, 199 in kSataAttributes' order
  kGrownDefects = kFirstAttribute + 6,
  kFirstCounter,  // the statistics counters in StatsCounters' order
};
constexpr int32_t kSataAttributes[] = {5, 187, 188, 197, 198, 199};
constexpr int32_t kPowerOnHoursAttribute = 9;
constexpr char kGrownDefectsName[] = "Elements in Grown Defect List";

// The error counters of the drive page, in kKept's order.
std::array<const std::string*, 6> StatsCounters(const TKVStatsPhysP& s) {
  return {&s.SenseKey4Count,    &s.MediumErrorCount,    &s.ParityErrorCount,
          &s.LinkFailCount,     &s.AbortedCommandCount, &s.SmartWarningCount};
}
static_assert(kFirstCounter + 6 == kKeptDriveValueCount);

std::optional<int64_t> Count(std::string_view text) {
  const int64_t n = LeadingCount(text);
  return n < 0 ? std::nullopt : std::optional<int64_t>(n);
}

std::optional<int64_t> SataRaw(const TKVSATASmartParams& table, int32_t id) {
  for (const TKVSATASmartP& a : table.Attributes)
    if (a.Id == id) return Count(a.Raw);
  return std::nullopt;
}

void ReadValues(const TDriveTables& tables, const TResultHDD& d, TDriveSample& out) {
  auto& v = out.Values;
  v[kTemperature] = Count(DriveTemperature(d));
  if (const TKVSATASmartParams* sata = tables.Sata(d)) {
    v[kPowerOnHours] = SataRaw(*sata, kPowerOnHoursAttribute);
    for (size_t i = 0; i < std::size(kSataAttributes); ++i) v[kFirstAttribute + i] = SataRaw(*sata, kSataAttributes[i]);
  }
  if (const TKVSASSmartParams* sas = tables.Sas(d)) {
    for (const TKVSASSmartP& p : sas->Attributes)
      if (SameTextAscii(p.Name, kGrownDefectsName)) {
        v[kGrownDefects] = Count(p.Value);
        break;
      }
  }
  if (const TKVStatsPhysP* stats = tables.Stats(d)) {
    const auto counters = StatsCounters(*stats);
    for (size_t i = 0; i < counters.size(); ++i) v[kFirstCounter + i] = Count(*counters[i]);
  }
}

// "0,0 0,1": where the members sit.
std::string MemberPlaces(const TKVResult& r, const TIntList& members) {
  std::string places;
  for (const TIntPair& m : members) {
    if (m.Key < 0 || m.Key >= r.HDDs.Count()) continue;
    if (!places.empty()) places += ' ';
    places += DrivePlace(r.HDDs.Item(m.Key));
  }
  return places;
}

}  // namespace

std::span<const TKeptValue> KeptDriveValues() { return kKept; }

int KeptValueIndex(const char* column) {
  for (size_t i = 0; i < std::size(kKept); ++i)
    if (std::strcmp(kKept[i].Column, column) == 0) return static_cast<int>(i);
  return -1;
}

std::vector<std::string> DriveHistoryKeys(const TKVCore& core, int controller) {
  const std::vector<bool> by_serial = DrivesKnownBySerial(core.Result);
  std::vector<std::string> keys;
  keys.reserve(by_serial.size());
  size_t i = 0;
  for (const TResultHDD& d : core.Result.HDDs)
    keys.push_back(by_serial[i++] ? d.SerialNumber : "c" + std::to_string(controller) + ":" + DrivePlace(d));
  return keys;
}

THistorySample TakeHistorySample(const TKVCore& core, const std::vector<TSmartVerdict>& verdicts, int controller,
                                 int64_t utc_time) {
  THistorySample sample;
  sample.Time = utc_time;
  sample.Controller = controller;
  const TKVResult& r = core.Result;
  const TResultController& c = r.Controller;
  sample.ControllerValues = {c.Status, Count(c.Temperature),
                             c.BBUOverallStatus.empty() ? c.BBUStatus : c.BBUOverallStatus,
                             Count(c.BBUCurrentTemperature)};
  for (const TResultLD& ld : r.LDs) sample.Devices.push_back({"logical", ld.Number, ld.Status, MemberPlaces(r, ld.Members)});
  for (const TResultZepLD& zep : r.ZepLDs)
    sample.Devices.push_back({"cache", zep.Number, zep.Status, MemberPlaces(r, zep.Members)});

  const TDriveTables tables(core);
  std::vector<std::string> keys = DriveHistoryKeys(core, controller);
  sample.Drives.reserve(keys.size());
  for (int i = 0; i < r.HDDs.Count(); ++i) {
    const TResultHDD& d = r.HDDs.Item(i);
    TDriveSample& s = sample.Drives.emplace_back();
    s.Drive = std::move(keys[static_cast<size_t>(i)]);
    s.Serial = d.SerialNumber;
    s.Channel = d.Channel;
    s.Id = d.DeviceId;
    s.State = d.State;
    if (static_cast<size_t>(i) < verdicts.size()) s.Smart = SmartGradeWord(verdicts[static_cast<size_t>(i)].Grade);
    ReadValues(tables, d, s);
  }
  return sample;
}

}  // namespace kv

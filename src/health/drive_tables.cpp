#include "health/drive_tables.h"

namespace kv {
namespace {

std::string Key(const std::string& channel, const std::string& id) { return channel + ',' + id; }

}  // namespace

TDriveTables::TDriveTables(const TKVCore& core) {
  // First one wins, as the pages show the first table of a place.
  for (int i = 0; i < core.SATASmartParams.Count(); ++i) {
    const auto& item = core.SATASmartParams.Item(i);
    sata_.emplace(Key(item.Channel, item.Id), item.Params.get());
  }
  for (int i = 0; i < core.SASSmartParams.Count(); ++i) {
    const auto& item = core.SASSmartParams.Item(i);
    sas_.emplace(Key(item.Channel, item.Id), item.Params.get());
  }
  for (int i = 0; i < core.Stats.PhysStats.Count(); ++i) {
    const TKVStatsPhysP& s = core.Stats.PhysStats.Item(i);
    stats_.emplace(Key(s.Channel, s.Id), &s);
  }
}

const TKVSATASmartParams* TDriveTables::Sata(const TResultHDD& drive) const {
  const auto it = sata_.find(Key(drive.Channel, drive.DeviceId));
  return it == sata_.end() ? nullptr : it->second;
}

const TKVSASSmartParams* TDriveTables::Sas(const TResultHDD& drive) const {
  const auto it = sas_.find(Key(drive.Channel, drive.DeviceId));
  return it == sas_.end() ? nullptr : it->second;
}

const TKVStatsPhysP* TDriveTables::Stats(const TResultHDD& drive) const {
  const auto it = stats_.find(Key(drive.Channel, drive.DeviceId));
  return it == stats_.end() ? nullptr : it->second;
}

int64_t LeadingCount(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  int64_t value = -1;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) break;
    value = value < 0 ? digit : (value > (INT64_MAX - digit) / base ? INT64_MAX : value * base + digit);
  }
  return value;
}

std::string DriveTemperature(const TResultHDD& d) {
  if (!d.SmartTemperature.empty()) return d.SmartTemperature;
  for (const std::string& line : d.Lines)
    if (line.rfind("Temperature: ", 0) == 0) return line.substr(13);
  return std::string();
}

}  // namespace kv

// BuildResult: interprets the raw pairs of the configuration listing.
// Keys are tested lower-cased with plain substring tests; values are kept as held.
#include "parse/build_result.h"

#include <algorithm>
#include <vector>

#include "base/text_case.h"
#include "base/text_helpers.h"
#include "model/kv_core.h"
#include "parse/drive_matcher.h"
#include "parse/listing_dialects.h"

namespace kv {

namespace {

std::string PairLine(const TKVItem& pair) { return pair.Key + ": " + pair.Value; }

// "Data 1" at "RAID 5" -> "data_1__raid_5"
std::string FormedUniqueId(const std::string& name, const std::string& raidLevel) {
  return BlanksToUnderscores(LowerCaseAscii(name) + "__" + LowerCaseAscii(raidLevel));
}

void ApplyControllerPair(TResultController& c, const std::string& k, const std::string& v) {
  if (Contains(k, "controller status")) c.Status = v;
  if (Contains(k, "controller mode") && !Contains(k, "controller model")) c.Mode = v;
  if (Contains(k, "controller model")) c.Model = v;
  if (Contains(k, "controller serial number")) c.SerialNumber = v;
  if (Contains(k, "temperature")) c.Temperature = v;
  // "Installed memory : 256 MB"; utility 3.x says "Cache memory : 3856 MB"
  if (Contains(k, "installed memory") || Contains(k, "cache memory")) c.InstalledMemory = v;
  if (Contains(k, "channel description")) c.ChannelDescription = v;
}

void ApplyBackupUnitPair(TResultController& c, const std::string& k, const std::string& v) {
  if (Contains(k, "status") && !Contains(k, "overall")) c.BBUStatus = v;
  if (Contains(k, "unit type")) c.BBUUnitType = v;
  if (Contains(k, "status") && Contains(k, "overall")) c.BBUOverallStatus = v;
  if (Contains(k, "current temperature")) c.BBUCurrentTemperature = v;
  if (Contains(k, "capacity remaining")) c.BBUCapacityRemaining = v;
  if (Contains(k, "time remaining")) c.BBUTimeRemaining = v;
  if (Contains(k, "over temperature")) c.BBUOverTemperature = v;
}

// `k` is read as DialectLower reads it, so "Status of logical drive" is the status too.
void ApplyLDPair(TResultLD& ld, const std::string& k, const std::string& v) {
  if (Contains(k, "logical device name")) ld.Name = v;
  if (Contains(k, "raid level")) ld.RaidLevel = v;
  if (Contains(k, "status of logical device")) ld.Status = v;
  if (k == "size") ld.Size = v;
  if (Contains(k, "unique identifier")) {
    ld.UniqueId = v;
    ld.HasUniqueId = true;
  }
  if (Contains(k, "read-cache setting")) ld.ReadCache = v;
  if (Contains(k, "read-cache status"))
    ld.ReadCacheStatus = v;
  else if (Contains(k, "read-cache mode"))
    ld.ReadCacheStatus = v;
  if (Contains(k, "write-cache setting")) ld.WriteCache = v;
  if (Contains(k, "write-cache status"))
    ld.WriteCacheStatus = v;
  else if (Contains(k, "write-cache mode"))
    ld.WriteCacheStatus = v;
  if (IsChannelListKey(k)) {
    // "0,0 0,1 ": one channel,device pair per member
    size_t start = 0;
    while ((start = v.find_first_not_of(' ', start)) != std::string::npos) {
      const size_t end = std::min(v.find(' ', start), v.size());
      ld.ListedDrives.push_back(v.substr(start, end - start));
      start = end;
    }
  }
}

void ApplyZepLDPair(TResultZepLD& zep, const std::string& k, const std::string& v) {
  if (Contains(k, "device name")) zep.DeviceName = v;
  if (Contains(k, "raid level")) zep.RaidLevel = v;
  if (Contains(k, "status of zepcache")) zep.Status = v;
  if (k == "size") zep.Size = v;
}

// First match wins for every drive field but the transfer speed, even when the first
// matching pair's value is empty.
struct THDDFirstMatch {
  bool State = false, Vendor = false, Model = false, SerialNumber = false, Firmware = false,
       WorldWideName = false, Size = false, WriteCache = false;
};

void ApplyHDDPair(TResultHDD& d, THDDFirstMatch& seen, const std::string& k, const std::string& v) {
  auto first = [&v](bool& taken, std::string& field) {
    if (taken) return;
    taken = true;
    field = v;
  };
  if (Contains(k, "state")) first(seen.State, d.State);
  if (Contains(k, "transfer speed")) d.TransferSpeed = v;
  if (Contains(k, "vendor")) first(seen.Vendor, d.Vendor);
  if (Contains(k, "model")) first(seen.Model, d.Model);
  if (Contains(k, "serial number")) first(seen.SerialNumber, d.SerialNumber);
  if (Contains(k, "firmware")) first(seen.Firmware, d.Firmware);
  if (Contains(k, "world-wide name")) first(seen.WorldWideName, d.WorldWideName);
  if (Contains(k, "used size") || k == "size") first(seen.Size, d.Size);
  if (Contains(k, "write cache")) first(seen.WriteCache, d.WriteCache);
}

}  // namespace

void BuildResult(TKVCore& core) {
  TResultController& c = core.Result.Controller;
  // 1. Fresh result; the controller's own fields start empty.
  core.Result.Clear();
  c.Status.clear();
  c.Mode.clear();
  c.Model.clear();
  c.SerialNumber.clear();
  c.Temperature.clear();
  c.InstalledMemory.clear();
  c.ChannelDescription.clear();

  // 2.-4. Controller, version and backup unit pairs.
  for (const TKVItem& pair : core.ControllerInfo) {
    ApplyControllerPair(c, LowerCaseAscii(pair.Key), pair.Value);
    c.Lines.push_back(PairLine(pair));
  }
  for (const TKVItem& pair : core.VersionInfo) c.VersionLines.push_back(PairLine(pair));
  c.BBUStatus.clear();
  c.BBUUnitType.clear();
  c.BBUOverallStatus.clear();
  c.BBUCurrentTemperature.clear();
  c.BBUCapacityRemaining.clear();
  c.BBUTimeRemaining.clear();
  c.BBUOverTemperature.clear();
  for (const TKVItem& pair : core.BBUInfo) {
    ApplyBackupUnitPair(c, LowerCaseAscii(pair.Key), pair.Value);
    c.BBULines.push_back(PairLine(pair));
  }

  // 5. Enclosures.
  for (int i = 0; i < core.Enclosures.Count(); ++i) {
    const TKVEnclosureItem& item = core.Enclosures.Item(i);
    TResultEnclosure& e = core.Result.Enclosures.Add();
    e.Id = item.Number;
    bool vendor_seen = false;
    bool temperature_seen = false;
    for (const TKVItem& pair : item.Info) {
      const std::string k = LowerCaseAscii(pair.Key);
      if (Contains(k, "vendor") && !vendor_seen) {
        e.Vendor = pair.Value;
        vendor_seen = true;
      }
      if (Contains(k, "enclosure id")) {
        e.Id = TrimControls(pair.Value);
        e.HasReportedId = true;
      }
      if (Contains(k, "reported channel,")) e.ChannelDevice = pair.Value;
      e.Lines.push_back(PairLine(pair));
    }
    for (const TKVItem& pair : item.StatusInfo) {
      const std::string k = LowerCaseAscii(pair.Key);
      if (Contains(k, "vendor") && !vendor_seen) {
        e.Vendor = pair.Value;
        vendor_seen = true;
      }
      if (Contains(k, "temperature") && !temperature_seen) {
        e.Temperature = pair.Value;
        temperature_seen = true;
      }
      e.StatusLines.push_back(PairLine(pair));
    }
  }

  // 6. Logical devices.
  for (int i = 0; i < core.LDs.Count(); ++i) {
    const TKVLDItem& item = core.LDs.Item(i);
    TResultLD& ld = core.Result.LDs.Add();
    ld.Number = item.Number;
    for (const TKVItem& pair : item.Info) {
      ApplyLDPair(ld, DialectLower(pair.Key), pair.Value);
      ld.Lines.push_back(PairLine(pair));
    }
    if (ld.UniqueId.empty()) ld.UniqueId = FormedUniqueId(ld.Name, ld.RaidLevel);
    for (const TKVItem& pair : item.Segments) ld.Segments.push_back(pair.Value);
  }

  // 7. zepCache devices.
  for (int i = 0; i < core.ZepLDs.Count(); ++i) {
    const TKVZEPLDItem& item = core.ZepLDs.Item(i);
    TResultZepLD& zep = core.Result.ZepLDs.Add();
    zep.Number = item.Number;
    for (const TKVItem& pair : item.Info) {
      ApplyZepLDPair(zep, LowerCaseAscii(pair.Key), pair.Value);
      zep.Lines.push_back(PairLine(pair));
    }
    zep.UniqueId = FormedUniqueId(zep.DeviceName, zep.RaidLevel);
    for (const TKVItem& pair : item.Segments) zep.Segments.push_back(pair.Value);
  }

  // 8. Drives, then their channel and location matches; then the members of every device.
  TDriveMatcher matcher(core);
  for (int i = 0; i < core.HDDs.Count(); ++i) {
    const TKVHDDItem& item = core.HDDs.Item(i);
    TResultHDD& d = core.Result.HDDs.Add();
    d.Number = ToInt(item.Number, -1);
    THDDFirstMatch seen;
    for (const TKVItem& pair : item.Info) {
      ApplyHDDPair(d, seen, LowerCaseAscii(pair.Key), pair.Value);
      d.Lines.push_back(PairLine(pair));
    }
    // Where the drive sits: channel first (it brings the SMART data), then the enclosure
    // slot, which may need the drive's ESD printed after its location.
    std::vector<TDriveLocation> locations;
    std::string esd;
    for (const TKVItem& pair : item.Info) {
      const std::string k = LowerCaseAscii(pair.Key);
      if (Contains(k, "reported location"))
        locations.push_back(ParseReportedLocation(pair.Value));
      else if (Contains(k, "reported enclosure,slot"))
        locations.push_back(ParseEnclosureSlotPair(pair.Value));
      else if (Contains(k, "reported channel,"))
        matcher.MatchChannel(pair.Value, d);
      else if (Contains(k, "reported esd") && esd.empty())
        esd = pair.Value;
    }
    for (const TDriveLocation& where : locations) matcher.Place(where, esd, d, i);
  }
  matcher.LinkMembers(core);
}

}  // namespace kv

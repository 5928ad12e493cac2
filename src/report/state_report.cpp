#include "report/state_report.h"

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/local_time_text.h"
#include "base/text_helpers.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "report/model_values.h"

namespace kv {

namespace {

// Every line followed by "||||", and every CR LF within a line replaced by "||||" too. A CR
// that ends a line meets the CR of the join, not its LF, so it stays as it is.
void AppendJoinedLines(std::string& out, const TStringList& lines) {
  for (const std::string& line : lines) {
    size_t from = 0;
    for (size_t cr = line.find('\r'); cr != std::string::npos; cr = line.find('\r', cr + 1)) {
      if (cr + 1 == line.size() || line[cr + 1] != '\n') continue;
      out.append(line, from, cr - from).append("||||");
      from = cr + 2;
    }
    out.append(line, from, std::string::npos).append("||||");
  }
}

}  // namespace

std::string JoinLines(const TStringList& lines) {
  std::string out;
  AppendJoinedLines(out, lines);
  return out;
}

std::string FormatReportDate(uint32_t seconds) {
  const TCivilTime t = CivilTime(seconds);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", static_cast<int>(t.day), static_cast<int>(t.month),
                static_cast<int>(t.year), static_cast<int>(t.hour), static_cast<int>(t.minute),
                static_cast<int>(t.second));
  return buf;
}

namespace {

// Appends the report's lines, to a list or straight to the text; keeps the section-name and
// key=value spelling in one place.
class TReportLines {
 public:
  explicit TReportLines(TStringList& lines) : lines_(&lines) {}
  explicit TReportLines(std::string& text) : text_(&text) {}

  void Blank() { Put({}); }
  void Literal(std::string_view line) { Put({line}); }
  void Value(std::string_view key, std::string_view value) { Put({key, "=", value}); }
  void Value(std::string_view key, int64_t value) {
    char digits[24];
    Put({key, "=", Digits(digits, value)});
  }
  void Flag(std::string_view key, bool on) { Value(key, on ? "1" : "0"); }
  // Multi-line raw lists are folded into one value, as JoinLines does.
  void Joined(std::string_view key, const TStringList& lines) {
    if (text_ == nullptr) return Value(key, JoinLines(lines));
    text_->append(key).append("=");
    AppendJoinedLines(*text_, lines);
    text_->append("\r\n");
  }
  void Section(std::string_view name) { Put({"[", name, "]"}); }
  void Section(std::string_view prefix, int n) {
    char digits[24];
    Put({"[", prefix, "_", Digits(digits, n), "]"});
  }
  void Section(std::string_view prefix, int n, int m) {
    char digits[24], more[24];
    Put({"[", prefix, "_", Digits(digits, n), "_", Digits(more, m), "]"});
  }

 private:
  static std::string_view Digits(char (&buf)[24], int64_t value) {
    return std::string_view(buf, static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf));
  }
  void Put(std::initializer_list<std::string_view> parts) {
    if (text_ != nullptr) {
      for (std::string_view part : parts) text_->append(part);
      text_->append("\r\n");
      return;
    }
    std::string line;
    for (std::string_view part : parts) line.append(part);
    lines_->push_back(std::move(line));
  }

  TStringList* lines_ = nullptr;
  std::string* text_ = nullptr;
};

// Attribute name numbers: shared by every drive of one report, in first-seen order.
class TNameTable {
 public:
  int NumberOf(const std::string& name) {
    auto [it, added] = index_.try_emplace(name, static_cast<int>(names_.size()));
    if (added) names_.push_back(name);
    return it->second;
  }
  const TStringList& Names() const { return names_; }

 private:
  TStringList names_;
  std::unordered_map<std::string, int> index_;
};

// Megabytes of a traffic amount and its unit; empty when not a positive number.
std::string TrafficMegabytes(const std::string& value, const std::string& unit) {
  return SizeToMegabytes(value + " " + unit);
}

void WriteController(const TResultController& c, TReportLines& out) {
  out.Section("controller");
  out.Value("state", c.Status);
  out.Value("mode", c.Mode);
  out.Value("model", c.Model);
  out.Value("ch_desc", c.ChannelDescription);
  out.Value("sn", c.SerialNumber);
  out.Value("temperature", c.Temperature);
  out.Value("memory", c.InstalledMemory);
  out.Joined("data", c.Lines);
  out.Joined("versions", c.VersionLines);
  out.Blank();
  out.Section("bbu");
  out.Value("state", c.BBUStatus);
  out.Value("type", c.BBUUnitType);
  out.Value("overal", c.BBUOverallStatus);
  out.Value("temp", c.BBUCurrentTemperature);
  out.Value("remain_persent", c.BBUCapacityRemaining);
  out.Value("remain_time", c.BBUTimeRemaining);
  out.Value("overtemp", c.BBUOverTemperature);
  out.Joined("data", c.BBULines);
}

void WriteCacheStats(const TKVStatsCacheItem& r, const TKVStats& log, TReportLines& out) {
  out.Blank();
  out.Section("stats_all");
  const int64_t start = static_cast<int64_t>(static_cast<uint32_t>(r.Time)) -
                        static_cast<int64_t>(r.SecondsSinceLastUpdate);
  out.Value("start_stats", start);
  // The controller log's own clock, wrapping in 32 bits like the controller's counter.
  const uint32_t log_start =
      static_cast<uint32_t>(log.Time) - static_cast<uint32_t>(log.SecondsSinceLastUpdate);
  out.Value("start_stats_date", FormatReportDate(log_start));
  out.Value("scince_stats", static_cast<int64_t>(r.SecondsSinceLastUpdate));
  out.Value("statsversion", r.StatsVersion);
  out.Value("uncachedReads", r.UncachedReads);
  out.Value("uncachedWrites", r.UncachedWrites);
  if (r.SsdCachePages > 0) {
    out.Value("ssdCachePages", static_cast<int64_t>(r.SsdCachePages));
    out.Value("pagesOnFetchList", static_cast<int64_t>(r.PagesOnFetchList));
    out.Value("pagesOnDirtyList", static_cast<int64_t>(r.PagesOnDirtyList));
    out.Value("pagesOnFailedList", static_cast<int64_t>(r.PagesOnFailedList));
    out.Value("fetchCandidates", static_cast<int64_t>(r.FetchCandidates));
    out.Value("candidateReplacements", static_cast<int64_t>(r.CandidateReplacements));
  }
  out.Value("dramFullHitReads", r.DramFullHitReads);
  out.Value("dramWaitHitReads", r.DramWaitHitReads);
  out.Value("dramHybridHitReads", r.DramHybridHitReads);
  out.Value("dramCacheWrites", r.DramCacheWrites);
  out.Value("dramFlushWaitWrites", r.DramFlushWaitWrites);
  out.Value("dramCacheFlushes", r.DramCacheFlushes);
  if (r.HasSsdActivity) {
    out.Literal("ssd_use=1");
    out.Value("ssdHitReads", r.SsdHitReads);
    out.Value("ssdHitWrites", r.SsdHitWrites);
    out.Value("ssdPageUpdates", r.SsdPageUpdates);
    out.Value("ssdPageDirectAllocations", r.SsdPageDirectAllocations);
    out.Value("ssdFetches", r.SsdFetches);
    out.Value("ssdFlushes", r.SsdFlushes);
    out.Value("ssdCacheValidPages", r.SsdCacheValidPages);
    out.Value("ssdCacheDirtyPages", r.SsdCacheDirtyPages);
  } else {
    out.Literal("ssd_use=0");
  }
}

// The [<prefix>_N_M] member sections of a logical or zepCache device.
void WriteMembers(std::string_view prefix, int n, const TIntList& members,
                  const TKVResult& result, TReportLines& out) {
  out.Value("hdds", members.Count());
  for (int m = 0; m < members.Count(); ++m) {
    const int32_t drive = members.Item(m).Key;
    if (drive < 0) continue;  // a segment that matched no drive keeps its number M
    out.Section(prefix, n, m);
    out.Value("id", drive);
    if (drive < result.HDDs.Count()) {
      out.Value("hdd_id", result.HDDs.Item(drive).DeviceId);
      out.Value("hdd_channel", result.HDDs.Item(drive).Channel);
    }
  }
}

void WriteLogicalDevices(const TKVCore& core, TReportLines& out) {
  const TKVResult& result = core.Result;
  if (result.LDs.Count() == 0) return;
  out.Section("ld");
  out.Value("count", result.LDs.Count());
  out.Blank();
  std::map<int32_t, const TKVStatsLDP*> traffic;  // the first statistics entry of each device
  for (int i = 0; i < core.Stats.LDStats.Count(); ++i)
    traffic.try_emplace(core.Stats.LDStats.Item(i).Id, &core.Stats.LDStats.Item(i));
  for (int n = 0; n < result.LDs.Count(); ++n) {
    const TResultLD& ld = result.LDs.Item(n);
    out.Section("ld", n);
    out.Value("number", ld.Number);
    out.Value("name", ld.Name);
    out.Value("level", ld.RaidLevel);
    out.Value("state", ld.Status);
    out.Value("size", ld.Size);
    out.Flag("uniq_parce", ld.HasUniqueId);
    out.Value("uniq", ld.UniqueId);
    out.Value("rc_settings", ld.ReadCache);
    out.Value("rc_status", ld.ReadCacheStatus);
    out.Value("wc_settings", ld.WriteCache);
    out.Value("wc_status", ld.WriteCacheStatus);
    out.Joined("data", ld.Lines);
    const auto stat = traffic.find(ToInt(ld.Number, -1));
    if (stat != traffic.end()) {
      const TKVStatsLDP& s = *stat->second;
      out.Value("stat_read_value", s.BlocksRead);
      out.Value("stat_read_unit", s.BlocksReadUnit);
      out.Value("stat_read_mb", TrafficMegabytes(s.BlocksRead, s.BlocksReadUnit));
      out.Value("stat_write_value", s.BlocksWritten);
      out.Value("stat_write_unit", s.BlocksWrittenUnit);
      out.Value("stat_write_mb", TrafficMegabytes(s.BlocksWritten, s.BlocksWrittenUnit));
    }
    WriteMembers("ld", n, ld.Members, result, out);
    out.Blank();
  }
}

void WriteZepDevices(const TKVResult& result, TReportLines& out) {
  if (result.ZepLDs.Count() == 0) return;
  out.Section("zepld");
  out.Value("count", result.ZepLDs.Count());
  out.Blank();
  for (int n = 0; n < result.ZepLDs.Count(); ++n) {
    const TResultZepLD& zep = result.ZepLDs.Item(n);
    out.Section("zepld", n);
    out.Value("number", zep.Number);
    out.Value("name", zep.DeviceName);
    out.Value("level", zep.RaidLevel);
    out.Value("state", zep.Status);
    out.Value("size", zep.Size);
    out.Flag("uniq_parce", zep.HasUniqueId);
    out.Value("uniq", zep.UniqueId);
    out.Joined("data", zep.Lines);
    WriteMembers("zepld", n, zep.Members, result, out);
    out.Blank();
  }
}

void WriteTasks(const TKVTaskList& tasks, TReportLines& out) {
  if (tasks.Count() == 0) return;
  out.Section("task");
  out.Value("count", tasks.Count());
  out.Blank();
  for (int n = 0; n < tasks.Count(); ++n) {
    const TKVTaskItem& task = tasks.Item(n);
    out.Section("task", n);
    out.Value("id", task.TaskId);
    out.Value("ld", task.LogicalDevice);
    out.Value("operate", task.CurrentOperation);
    out.Value("state", task.Status);
    out.Value("persent", task.PercentageComplete);
    out.Blank();
  }
}

// For every drive, the devices that hold it: one entry per member entry equal to the drive,
// in device order, then member order. Built once, so a report stays linear in the model.
std::vector<std::vector<int>> DevicesByDrive(int drives, auto const& devices) {
  std::vector<std::vector<int>> by_drive(static_cast<size_t>(drives));
  for (int i = 0; i < devices.Count(); ++i)
    for (const TIntPair& member : devices.Item(i).Members)
      if (member.Key >= 0 && member.Key < drives) by_drive[static_cast<size_t>(member.Key)].push_back(i);
  return by_drive;
}

// One "ld=" triple per member entry equal to the drive; zepCache devices only when no
// logical device holds it.
void WriteMembership(const TKVResult& result, const std::vector<int>& lds,
                     const std::vector<int>& zeps, TReportLines& out) {
  for (int i : lds) {
    const TResultLD& ld = result.LDs.Item(i);
    out.Value("ld", ld.Name);
    out.Value("ld_number", ld.Number);
    out.Value("ld_uniq", ld.UniqueId);
  }
  if (!lds.empty()) return;
  for (int i : zeps) {
    const TResultZepLD& zep = result.ZepLDs.Item(i);
    out.Value("ld", zep.DeviceName);
    out.Value("ld_number", zep.Number);
    out.Value("ld_uniq", zep.UniqueId);
    out.Literal("ld_is_zepcache=1");
  }
}

void WriteDrives(const TKVResult& result, TReportLines& out) {
  if (result.HDDs.Count() == 0) return;
  out.Section("hdds");
  out.Value("count", result.HDDs.Count());
  out.Blank();
  const auto lds = DevicesByDrive(result.HDDs.Count(), result.LDs);
  const auto zeps = DevicesByDrive(result.HDDs.Count(), result.ZepLDs);
  for (int n = 0; n < result.HDDs.Count(); ++n) {
    const TResultHDD& hdd = result.HDDs.Item(n);
    out.Section("hdd", n);
    out.Value("state", hdd.State);
    out.Value("inter", hdd.TransferSpeed);
    out.Value("vendor", hdd.Vendor);
    out.Value("model", hdd.Model);
    out.Value("sn", hdd.SerialNumber);
    out.Value("fw", hdd.Firmware);
    out.Value("wwn", hdd.WorldWideName);
    out.Value("size", hdd.Size);
    out.Value("wc", hdd.WriteCache);
    if (hdd.Enclosure != nullptr) {
      out.Literal("enclosure=1");
      out.Value("enclosure_id", hdd.Enclosure->Id);
    }
    out.Value("channel", hdd.Channel);
    out.Value("id", hdd.DeviceId);
    out.Value("temperature", hdd.SmartTemperature);
    out.Value("smart_state", hdd.SmartHealth);
    WriteMembership(result, lds[static_cast<size_t>(n)], zeps[static_cast<size_t>(n)], out);
    out.Joined("data", hdd.Lines);
    out.Blank();
  }
}

void WriteEnclosures(const TKVResult& result, TReportLines& out) {
  if (result.Enclosures.Count() == 0) return;
  out.Section("enclosures");
  out.Value("count", result.Enclosures.Count());
  out.Blank();
  for (int n = 0; n < result.Enclosures.Count(); ++n) {
    const TResultEnclosure& enc = result.Enclosures.Item(n);
    out.Section("enc", n);
    out.Value("vendor", enc.Vendor);
    out.Value("temperature", enc.Temperature);
    out.Value("id", enc.Id);
    out.Joined("values", enc.Lines);
    out.Joined("status", enc.StatusLines);
    out.Value("hdds", enc.Slots.Count());
    for (int m = 0; m < enc.Slots.Count(); ++m) {
      const TIntPair& slot = enc.Slots.Item(m);
      if (slot.Key < 0) continue;
      out.Section("enc", n, m);
      out.Value("id", slot.Key);
      if (slot.Key < result.HDDs.Count()) {
        out.Value("hdd_id", result.HDDs.Item(slot.Key).DeviceId);
        out.Value("hdd_channel", result.HDDs.Item(slot.Key).Channel);
      }
      out.Value("slot", slot.Value);
    }
    out.Blank();
  }
}

// The names SATA drives give their attributes: the first entry for (drive, channel, id).
class TDescNamesIndex {
 public:
  explicit TDescNamesIndex(const TKVSmartDescNamesList& list) {
    for (int i = 0; i < list.Count(); ++i) {
      const TKVSmartDescNamesItem& item = list.Item(i);
      index_.try_emplace({item.DeviceId, item.Channel, item.AttributeId}, &item.Name);
    }
  }
  std::string Find(int32_t device_id, int32_t channel, int32_t attribute_id) const {
    const auto it = index_.find({device_id, channel, attribute_id});
    return it == index_.end() ? std::string() : *it->second;
  }

 private:
  std::map<std::tuple<int32_t, int32_t, int32_t>, const std::string*> index_;
};

void WriteSmart(const TKVCore& core, TReportLines& out) {
  const TKVResult& result = core.Result;
  if (result.HDDs.Count() == 0) return;
  out.Blank();
  out.Section("hdd_smart");
  out.Value("count", result.HDDs.Count());
  out.Blank();
  const TSmartTables tables(core);
  const TDescNamesIndex desc_names(core.SmartDescNames);
  TNameTable names;
  const TKVSmartNamesList& known_names = SmartNamesOf(core);
  for (int n = 0; n < result.HDDs.Count(); ++n) {
    const TResultHDD& hdd = result.HDDs.Item(n);
    const auto* sata = tables.Sata(hdd);
    if (sata != nullptr && sata->Count() > 0) {
      out.Section("hdd_smart", n);
      out.Value("channel", hdd.Channel);
      out.Value("id", hdd.DeviceId);
      out.Literal("smart_sata=1");
      out.Blank();
      const int device_id = ToInt(hdd.DeviceId, -1);
      const int channel = ToInt(hdd.Channel, -1);
      for (int m = 0; m < sata->Count(); ++m) {
        const TKVSATASmartP& attr = sata->Item(m);
        std::string name = desc_names.Find(device_id, channel, attr.Id);
        if (name.empty()) name = known_names.NameOf(attr.Id);
        if (name.empty()) name = "Unknown attribute";
        out.Section("hdd_smart", n, m);
        out.Value("id", attr.Id);
        out.Value("hex", attr.IdText);
        out.Value("current", attr.Current);
        out.Value("worst", attr.Worst);
        out.Value("raw", attr.Raw);
        out.Value("name", names.NumberOf(name));
        out.Blank();
      }
    }
    const auto* sas = tables.Sas(hdd);
    if (sas != nullptr && sas->Count() > 0) {
      out.Section("hdd_smart", n);
      out.Value("channel", hdd.Channel);
      out.Value("id", hdd.DeviceId);
      out.Literal("smart_sata=0");
      out.Blank();
      for (int m = 0; m < sas->Count(); ++m) {
        const TKVSASSmartP& param = sas->Item(m);
        out.Section("hdd_smart", n, m);
        out.Value("name", param.Name);
        out.Value("value", param.Value);
        out.Blank();
      }
    }
    out.Blank();
  }
  if (names.Names().empty()) return;
  out.Blank();
  out.Section("hdd_smart_desc");
  out.Value("count", static_cast<int64_t>(names.Names().size()));
  for (size_t k = 0; k < names.Names().size(); ++k) {
    out.Blank();
    out.Section("hdd_smart_desc", static_cast<int>(k));
    out.Value("name", names.Names()[k]);
  }
}

}  // namespace

namespace {

void WriteReport(const TKVCore& core, const std::string& version, TReportLines& out) {
  out.Section("main");
  out.Value("version", version);
  out.Blank();
  WriteController(core.Result.Controller, out);
  if (const TKVStatsCacheItem* cache = core.StatsCache.FindBySerial(core.Result.Controller.SerialNumber))
    WriteCacheStats(*cache, core.Stats, out);
  out.Blank();
  WriteLogicalDevices(core, out);
  out.Blank();
  WriteZepDevices(core.Result, out);
  out.Blank();
  WriteTasks(core.Tasks, out);
  out.Blank();
  WriteDrives(core.Result, out);
  out.Blank();
  WriteEnclosures(core.Result, out);
  WriteSmart(core, out);
}

}  // namespace

void WriteStateReport(const TKVCore& core, const std::string& version, TStringList& lines) {
  lines.clear();
  TReportLines out(lines);
  WriteReport(core, version, out);
}

void AppendStateReport(const TKVCore& core, const std::string& version, std::string& text) {
  TReportLines out(text);
  WriteReport(core, version, out);
}

}  // namespace kv

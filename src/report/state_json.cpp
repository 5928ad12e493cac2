#include "report/state_json.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "base/text_utf8.h"
#include "model/smart_names.h"
#include "report/model_values.h"

namespace kv {
namespace {

// Appends JSON with commas placed automatically: every value or key opens with Sep().
class JsonWriter {
 public:
  std::string out;

  void Open(char bracket) {
    Sep();
    out += bracket;
    first_ = true;
  }
  void Close(char bracket) {
    out += bracket;
    first_ = false;
  }
  void Key(const char* key) {
    Sep();
    out += '"';
    out += key;
    out += "\":";
    first_ = true;  // the value follows without a comma
  }
  void Str(std::string_view text) {
    Sep();
    AppendJsonString(out, text);
  }
  void Num(std::optional<double> value) {
    Sep();
    if (!value || !std::isfinite(*value)) {
      out += "null";
      return;
    }
    AppendNumber(out, *value);
  }
  void Bool(bool value) {
    Sep();
    out += value ? "true" : "false";
  }

  void Field(const char* key, std::string_view text) { Key(key), Str(text); }
  void Field(const char* key, const char* text) { Key(key), Str(text); }
  void Field(const char* key, std::optional<double> value) { Key(key), Num(value); }
  void FieldBool(const char* key, bool value) { Key(key), Bool(value); }
  void Lines(const char* key, const TStringList& lines) {
    Key(key);
    Open('[');
    for (const std::string& line : lines) Str(line);
    Close(']');
  }

 private:
  void Sep() {
    if (!first_) out += ',';
    first_ = false;
  }
  bool first_ = true;
};

// The entry's number, repeated first in each of its devices and drives: a reader that
// flattens them (Zabbix discovery) cannot reach the entry from them.
void ControllerNumber(JsonWriter& j, int controller) { j.Field("controller", static_cast<double>(controller)); }

void Collection(JsonWriter& j, const CollectionHealth& h) {
  j.Key("collection");
  j.Open('{');
  j.FieldBool("up", h.Up);
  j.Field("last_success_timestamp_seconds",
          h.LastSuccessUnixSeconds > 0 ? std::optional<double>(static_cast<double>(h.LastSuccessUnixSeconds))
                                       : std::nullopt);
  j.Field("duration_seconds", h.DurationSeconds);
  j.Field("collections_total", static_cast<double>(h.CollectionsTotal));
  j.Key("sources");
  j.Open('[');
  for (int i = 0; i < kSourceCount; ++i) {
    const SourceHealth& s = h.Sources[static_cast<size_t>(i)];
    if (!s.Configured) continue;
    j.Open('{');
    j.Field("source", std::string(SourceName(i)));
    j.Field("status", std::string(SourceStatusName(s.Status)));
    j.Field("status_code", static_cast<double>(static_cast<int>(s.Status)));
    j.Field("duration_seconds", s.DurationSeconds);
    j.Field("output_bytes", static_cast<double>(s.OutputBytes));
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
}

// "controller_info": the entry's "controller" is its number.
void Controller(JsonWriter& j, const TResultController& c) {
  j.Key("controller_info");
  j.Open('{');
  j.Field("model", c.Model);
  j.Field("serial", c.SerialNumber);
  j.Field("mode", c.Mode);
  j.Field("firmware", ControllerFirmware(c));
  j.Field("status", c.Status);
  j.FieldBool("status_ok", StatusOk(c.Status));
  j.Field("temperature", c.Temperature);
  j.Field("temperature_celsius", LeadingNumber(c.Temperature));
  j.Field("installed_memory", c.InstalledMemory);
  j.Field("channel_description", c.ChannelDescription);
  j.Lines("lines", c.Lines);
  j.Lines("version_lines", c.VersionLines);
  j.Close('}');

  j.Key("backup_unit");
  if (c.BBULines.empty()) {
    j.Num(std::nullopt);
    return;
  }
  j.Open('{');
  j.Field("type", c.BBUUnitType);
  j.Field("status", c.BBUStatus);
  j.Field("overall_status", c.BBUOverallStatus);
  j.Field("temperature", c.BBUCurrentTemperature);
  j.Field("temperature_celsius", LeadingNumber(c.BBUCurrentTemperature));
  j.Field("capacity_remaining", c.BBUCapacityRemaining);
  const auto percent = LeadingNumber(c.BBUCapacityRemaining);
  j.Field("capacity_remaining_ratio", percent ? std::optional<double>(*percent / 100) : std::nullopt);
  j.Field("time_remaining", c.BBUTimeRemaining);
  j.Field("over_temperature", c.BBUOverTemperature);
  j.Lines("lines", c.BBULines);
  j.Close('}');
}

template <class TRecord>
void Device(JsonWriter& j, int controller, const TKVCore& core, const TRecord& d, const std::string& name) {
  j.Open('{');
  ControllerNumber(j, controller);
  j.Field("number", d.Number);
  j.Field("name", name);
  j.Field("level", d.RaidLevel);
  j.Field("state", d.Status);
  j.FieldBool("ok", StatusOk(d.Status));
  j.Field("size", d.Size);
  j.Field("size_bytes", SizeBytes(d.Size));
  j.Field("unique_id", d.UniqueId);
  j.Key("members");
  j.Open('[');
  for (const TIntPair& m : d.Members) {
    j.Open('{');
    j.Field("drive", static_cast<double>(m.Key));
    const bool known = m.Key >= 0 && m.Key < core.Result.HDDs.Count();
    j.Field("serial", known ? core.Result.HDDs.Item(m.Key).SerialNumber : std::string());
    j.Close('}');
  }
  j.Close(']');
  j.Field("missing_members", static_cast<double>(d.MissingMembers.size()));
  j.Lines("segments", d.Segments);
  j.Lines("lines", d.Lines);
  j.Close('}');
}

void SmartTables(JsonWriter& j, const TKVCore& core, const TSmartTables& tables, const TResultHDD& d,
                 const TKVSmartNamesList& names) {
  j.Key("smart");
  j.Open('{');
  j.Field("health", d.SmartHealth);
  j.Key("sata");
  j.Open('[');
  if (const TKVSATASmartParams* sata = tables.Sata(d)) {
    const TSataAttributeNames attribute_names(core, d, names);
    for (const TKVSATASmartP& a : sata->Attributes) {
      j.Open('{');
      j.Field("id", a.Id >= 0 ? std::optional<double>(a.Id) : std::nullopt);
      j.Field("id_text", a.IdText);
      j.Field("name", a.Id >= 0 ? attribute_names.Of(a.Id) : std::string());
      j.Field("current", a.Current);
      j.Field("worst", a.Worst);
      j.Field("raw", a.Raw);
      j.Close('}');
    }
  }
  j.Close(']');
  j.Key("sas");
  j.Open('[');
  if (const TKVSASSmartParams* sas = tables.Sas(d)) {
    for (const TKVSASSmartP& a : sas->Attributes) {
      j.Open('{');
      j.Field("name", a.Name);
      j.Field("value", a.Value);
      j.Close('}');
    }
  }
  j.Close(']');
  j.Close('}');
}

void Drives(JsonWriter& j, int controller, const TKVCore& core, const TCycleHealth* cycle) {
  const TKVSmartNamesList& names = SmartNamesOf(core);
  const TSmartTables tables(core);
  j.Key("drives");
  j.Open('[');
  int index = 0;
  for (const TResultHDD& d : core.Result.HDDs) {
    j.Open('{');
    ControllerNumber(j, controller);
    j.Field("index", static_cast<double>(index++));
    j.Field("channel", d.Channel);
    j.Field("device_id", d.DeviceId);
    j.Field("state", d.State);
    j.FieldBool("failed", DriveFailed(d.State));
    j.Field("vendor", d.Vendor);
    j.Field("model", d.Model);
    j.Field("serial", d.SerialNumber);
    j.Field("firmware", d.Firmware);
    j.Field("world_wide_name", d.WorldWideName);
    j.Field("transfer_speed", d.TransferSpeed);
    j.Field("write_cache", d.WriteCache);
    j.Field("size", d.Size);
    j.Field("size_bytes", SizeBytes(d.Size));
    const std::string temperature = DriveTemperatureText(d);
    j.Field("temperature", temperature);
    j.Field("temperature_celsius", LeadingNumber(temperature));
    j.Key("enclosure");
    if (d.Enclosure != nullptr)
      j.Str(d.Enclosure->Id);
    else
      j.Num(std::nullopt);
    SmartTables(j, core, tables, d, names);
    j.Key("errors");
    j.Open('{');
    if (const TKVStatsPhysP* stats = DriveStatsOf(core, d))
      for (const DriveErrorCount& e : DriveErrorCounts(*stats)) j.Field(e.Kind, WholeNumber(*e.Text));
    j.Close('}');
    j.Lines("lines", d.Lines);
    if (cycle != nullptr && static_cast<size_t>(index - 1) < cycle->Drives.size()) {
      const TSmartVerdict& v = cycle->Drives[static_cast<size_t>(index - 1)];
      j.Key("smart_verdict");
      j.Open('{');
      j.Field("grade", SmartGradeWord(v.Grade));
      j.Key("reasons");
      j.Open('[');
      for (const std::string& reason : v.Reasons) j.Str(reason);
      j.Close(']');
      j.Close('}');
    }
    j.Close('}');
  }
  j.Close(']');
}

void Health(JsonWriter& j, const THealthVerdict& verdict) {
  j.Key("health");
  j.Open('{');
  j.Field("verdict", HealthWord(verdict.Level));
  j.Field("level", static_cast<double>(verdict.Level));
  j.Key("reasons");
  j.Open('[');
  for (const THealthReason& r : verdict.Reasons) {
    j.Open('{');
    j.Field("level", HealthWord(r.Level));
    j.Field("object", r.Object);
    j.Field("link", r.Link);
    j.Field("text", r.Text);
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
}

void HealthAndChanges(JsonWriter& j, const TCycleHealth& cycle) {
  Health(j, cycle.Verdict);
  j.Key("changes");
  j.Open('[');
  for (const TChangeLine& c : cycle.Recent) {
    j.Open('{');
    j.Field("time", static_cast<double>(c.Time));
    j.Field("severity", SeverityName(c.Severity));
    j.Field("text", c.Text);
    j.Close('}');
  }
  j.Close(']');
}

void Enclosures(JsonWriter& j, const TKVCore& core) {
  j.Key("enclosures");
  j.Open('[');
  for (const TResultEnclosure& e : core.Result.Enclosures) {
    j.Open('{');
    j.Field("id", e.Id);
    j.Field("vendor", e.Vendor);
    j.Field("temperature", e.Temperature);
    j.Field("temperature_celsius", LeadingNumber(e.Temperature));
    j.Key("slots");
    j.Open('[');
    for (const TIntPair& s : e.Slots) {
      j.Open('{');
      j.Field("slot", static_cast<double>(s.Value));
      j.Field("drive", static_cast<double>(s.Key));
      j.Close('}');
    }
    j.Close(']');
    j.Lines("lines", e.Lines);
    j.Lines("status_lines", e.StatusLines);
    j.Close('}');
  }
  j.Close(']');
}

void Tasks(JsonWriter& j, const TKVCore& core) {
  j.Key("tasks");
  j.Open('[');
  for (int i = 0; i < core.Tasks.Count(); ++i) {
    const TKVTaskItem& t = core.Tasks.Item(i);
    j.Open('{');
    j.Field("task_id", t.TaskId);
    j.Field("logical_device", t.LogicalDevice);
    j.Field("operation", t.CurrentOperation);
    j.Field("status", t.Status);
    j.Field("percent_complete", t.PercentageComplete);
    const auto percent = LeadingNumber(t.PercentageComplete);
    j.Field("progress_ratio", percent ? std::optional<double>(*percent / 100) : std::nullopt);
    j.Close('}');
  }
  j.Close(']');
}

// The shared counters of a logical device record and a cache record.
template <class TRecord>
void CacheCounters(JsonWriter& j, const TRecord& r) {
  const std::pair<const char*, const std::string*> fields[] = {
      {"uncached_reads", &r.UncachedReads},           {"uncached_writes", &r.UncachedWrites},
      {"dram_full_hit_reads", &r.DramFullHitReads},   {"dram_wait_hit_reads", &r.DramWaitHitReads},
      {"dram_hybrid_hit_reads", &r.DramHybridHitReads}, {"dram_cache_writes", &r.DramCacheWrites},
      {"dram_flush_wait_writes", &r.DramFlushWaitWrites}, {"dram_cache_flushes", &r.DramCacheFlushes},
      {"ssd_hit_reads", &r.SsdHitReads},             {"ssd_hit_writes", &r.SsdHitWrites},
      {"ssd_page_updates", &r.SsdPageUpdates},       {"ssd_page_direct_allocations", &r.SsdPageDirectAllocations},
      {"ssd_fetches", &r.SsdFetches},                {"ssd_flushes", &r.SsdFlushes},
      {"ssd_cache_valid_pages", &r.SsdCacheValidPages}, {"ssd_cache_dirty_pages", &r.SsdCacheDirtyPages}};
  for (const auto& [key, text] : fields) j.Field(key, WholeNumber(*text));
  j.FieldBool("ssd_activity", r.HasSsdActivity);
}

void Statistics(JsonWriter& j, const TKVCore& core) {
  const TKVStats& s = core.Stats;
  j.Key("statistics");
  j.Open('{');
  j.Field("device_name", s.DeviceName);
  j.Field("serial", s.SerialNumber);
  j.Field("version", s.StatsVersion);
  j.Field("time", static_cast<double>(s.Time));
  j.Field("seconds_since_last_update", static_cast<double>(s.SecondsSinceLastUpdate));
  j.Key("logical_devices");
  j.Open('[');
  for (int i = 0; i < s.LDStats.Count(); ++i) {
    const TKVStatsLDP& r = s.LDStats.Item(i);
    j.Open('{');
    j.Field("id", static_cast<double>(r.Id));
    j.Field("reads", WholeNumber(r.NumReads));
    j.Field("writes", WholeNumber(r.NumWrites));
    j.Field("read_bytes", CounterBytes(r.BlocksRead, r.BlocksReadUnit));
    j.Field("written_bytes", CounterBytes(r.BlocksWritten, r.BlocksWrittenUnit));
    CacheCounters(j, r);
    j.Close('}');
  }
  j.Close(']');
  j.Key("physical_drives");
  j.Open('[');
  for (int i = 0; i < s.PhysStats.Count(); ++i) {
    const TKVStatsPhysP& r = s.PhysStats.Item(i);
    j.Open('{');
    j.Field("channel", r.Channel);
    j.Field("device_id", r.Id);
    for (const DriveErrorCount& e : DriveErrorCounts(r)) j.Field(e.Kind, WholeNumber(*e.Text));
    j.Close('}');
  }
  j.Close(']');
  j.Key("cache");
  j.Open('[');
  for (int i = 0; i < core.StatsCache.Count(); ++i) {
    const TKVStatsCacheItem& r = core.StatsCache.Item(i);
    j.Open('{');
    j.Field("device_name", r.DeviceName);
    j.Field("serial", r.SerialNumber);
    j.Field("time", static_cast<double>(r.Time));
    j.Field("ssd_cache_pages", static_cast<double>(r.SsdCachePages));
    j.Field("pages_on_fetch_list", static_cast<double>(r.PagesOnFetchList));
    j.Field("pages_on_dirty_list", static_cast<double>(r.PagesOnDirtyList));
    j.Field("pages_on_failed_list", static_cast<double>(r.PagesOnFailedList));
    CacheCounters(j, r);
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonString(out, text);
  return out;
}

namespace {

void Entry(JsonWriter& j, int controller, const TKVCore& core, const CollectionHealth& health,
           const TCycleHealth* cycle) {
  j.Open('{');
  ControllerNumber(j, controller);
  // While a failed collection shows the last good data: why, and when it was collected.
  j.FieldBool("stale", !health.StaleReason.empty());
  if (!health.StaleReason.empty()) {
    j.Field("stale_reason", health.StaleReason);
    j.Field("data_collected", static_cast<double>(health.DataCollectedUnixSeconds));
  }
  Collection(j, health);
  Controller(j, core.Result.Controller);
  j.Key("logical_devices");
  j.Open('[');
  for (const TResultLD& ld : core.Result.LDs) Device(j, controller, core, ld, ld.Name);
  j.Close(']');
  j.Key("zepcache_devices");
  j.Open('[');
  for (const TResultZepLD& z : core.Result.ZepLDs) Device(j, controller, core, z, z.DeviceName);
  j.Close(']');
  Drives(j, controller, core, cycle);
  Enclosures(j, core);
  Tasks(j, core);
  Statistics(j, core);
  if (cycle != nullptr) HealthAndChanges(j, *cycle);
  j.Close('}');
}

// Up to the "controllers" array, opened.
void Head(JsonWriter& j, const THealthVerdict& overall) {
  j.Open('{');
  j.Field("format", 2.0);
  Health(j, overall);
  j.Key("controllers");
  j.Open('[');
}

}  // namespace

std::string RenderStateJsonEntry(int controller, const TKVCore& core, const CollectionHealth& health,
                                 const TCycleHealth* cycle, size_t expected_size) {
  JsonWriter j;
  j.out.reserve(expected_size);
  Entry(j, controller, core, health, cycle);
  return std::move(j.out);
}

std::string JoinStateJson(const THealthVerdict& overall, std::span<const std::string> entries) {
  JsonWriter head;
  Head(head, overall);
  size_t size = head.out.size() + 3;
  for (const std::string& e : entries) size += e.size() + 1;
  std::string out;
  out.reserve(size);
  out += head.out;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    out += entries[i];
  }
  out += "]}\n";
  return out;
}

std::string RenderStateJson(const TKVCore& core, const CollectionHealth& health, const TCycleHealth* cycle,
                            size_t expected_size) {
  // A cycle that ended before it was judged: a collection that failed is a Warning.
  THealthVerdict unjudged;
  if (cycle == nullptr && !health.Up) {
    unjudged.Level = THealth::Warning;
    unjudged.Reasons.push_back({THealth::Warning, "Collection", "#controller",
                              health.StaleReason.empty() ? "collection failed" : health.StaleReason});
  }
  // Written in one piece: the entry is not copied into the document.
  JsonWriter j;
  j.out.reserve(expected_size);
  Head(j, cycle != nullptr ? cycle->Verdict : unjudged);
  Entry(j, 1, core, health, cycle);
  j.Close(']');
  j.Close('}');
  j.out += '\n';
  return std::move(j.out);
}

}  // namespace kv

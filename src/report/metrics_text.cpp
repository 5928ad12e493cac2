#include "report/metrics_text.h"

#include <cmath>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "parse/smart_names.h"
#include "report/model_values.h"
#include "report/text_utf8.h"

namespace kv {

const char* SourceStatusName(SourceStatus status) {
  switch (status) {
    case SourceStatus::kOk: return "ok";
    case SourceStatus::kEmpty: return "empty";
    case SourceStatus::kFailed: return "failed";
    case SourceStatus::kTimedOut: return "timed_out";
    case SourceStatus::kCapped: return "capped";
  }
  return "failed";
}

const char* SourceName(int index) {
  static const char* const kNames[kSourceCount] = {"config", "smart", "task", "stat", "cache"};
  return index >= 0 && index < kSourceCount ? kNames[index] : "";
}

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

// Collects samples per family and writes the families in the order they were declared.
class MetricsWriter {
 public:
  void Family(const char* name, const char* type, const char* help) {
    families_.push_back({name, type, help, {}});
  }

  // Adds a sample to the most recently declared family with that name.
  void Sample(const char* name, const Labels& labels, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return;
    std::string series = name;
    if (!labels.empty()) {
      series += '{';
      for (size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) series += ',';
        series += labels[i].first;
        series += "=\"";
        series += MetricsLabelValue(labels[i].second);
        series += '"';
      }
      series += '}';
    }
    const auto [stored, inserted] = seen_.insert(std::move(series));
    if (!inserted) return;
    for (auto it = families_.rbegin(); it != families_.rend(); ++it) {
      if (it->name != name) continue;
      it->samples.append(*stored).append(1, ' ').append(FormatNumber(*value)).append(1, '\n');
      return;
    }
  }

  std::string Text() const {
    std::string out;
    size_t size = 0;
    for (const auto& f : families_)
      if (!f.samples.empty()) size += 2 * f.name.size() + f.help.size() + f.type.size() + 16 + f.samples.size();
    out.reserve(size);
    for (const auto& f : families_) {
      if (f.samples.empty()) continue;
      out += "# HELP " + f.name + ' ' + f.help + '\n';
      out += "# TYPE " + f.name + ' ' + f.type + '\n';
      out += f.samples;
    }
    return out;
  }

 private:
  struct FamilyText {
    std::string name, type, help, samples;
  };
  std::vector<FamilyText> families_;
  std::unordered_set<std::string> seen_;
};

std::optional<double> Flag(bool b) { return b ? 1.0 : 0.0; }

std::optional<double> Ratio(const std::string& percentText) {
  const auto v = LeadingNumber(percentText);
  if (!v) return std::nullopt;
  return *v / 100.0;
}

void CollectionMetrics(MetricsWriter& w, const CollectionHealth& h) {
  w.Family("korvane_up", "gauge", "1 when the last collection cycle parsed a non-empty configuration text.");
  w.Sample("korvane_up", {}, Flag(h.Up));
  w.Family("korvane_collection_last_success_timestamp_seconds", "gauge",
           "Unix time of the last collection cycle that parsed a configuration text.");
  if (h.LastSuccessUnixSeconds > 0)
    w.Sample("korvane_collection_last_success_timestamp_seconds", {}, static_cast<double>(h.LastSuccessUnixSeconds));
  w.Family("korvane_collection_duration_seconds", "gauge", "Duration of the last collection cycle.");
  w.Sample("korvane_collection_duration_seconds", {}, h.DurationSeconds);
  w.Family("korvane_collections_total", "counter", "Collection cycles run since the service started.");
  w.Sample("korvane_collections_total", {}, static_cast<double>(h.CollectionsTotal));

  w.Family("korvane_source_last_status", "gauge",
           "Outcome of the last read of a source: 0 ok, 1 empty, 2 failed, 3 timed out, 4 capped.");
  w.Family("korvane_source_duration_seconds", "gauge", "Duration of the last read of a source.");
  w.Family("korvane_source_output_bytes", "gauge", "Size of the text the last read of a source gave.");
  for (int i = 0; i < kSourceCount; ++i) {
    const SourceHealth& s = h.Sources[static_cast<size_t>(i)];
    if (!s.Configured) continue;
    const Labels labels{{"source", SourceName(i)}};
    w.Sample("korvane_source_last_status", labels, static_cast<double>(static_cast<int>(s.Status)));
    w.Sample("korvane_source_duration_seconds", labels, s.DurationSeconds);
    w.Sample("korvane_source_output_bytes", labels, static_cast<double>(s.OutputBytes));
  }
}

void ControllerMetrics(MetricsWriter& w, const TKVCore& core) {
  const TResultController& c = core.Result.Controller;
  w.Family("korvane_controller_info", "gauge", "Controller identity; always 1.");
  w.Family("korvane_controller_status_ok", "gauge", "1 when the controller status reads Optimal or OK.");
  w.Family("korvane_controller_temperature_celsius", "gauge", "Controller temperature.");
  if (!c.Lines.empty() || !c.VersionLines.empty()) {
    w.Sample("korvane_controller_info",
             {{"model", c.Model}, {"serial", c.SerialNumber}, {"mode", c.Mode}, {"firmware", ControllerFirmware(c)}},
             1.0);
    if (!c.Status.empty()) w.Sample("korvane_controller_status_ok", {}, Flag(StatusOk(c.Status)));
    w.Sample("korvane_controller_temperature_celsius", {}, LeadingNumber(c.Temperature));
  }

  w.Family("korvane_backup_unit_info", "gauge", "Backup unit type and status; always 1.");
  w.Family("korvane_backup_unit_capacity_remaining_ratio", "gauge", "Backup unit capacity remaining, 0 to 1.");
  w.Family("korvane_backup_unit_temperature_celsius", "gauge", "Backup unit temperature.");
  if (!c.BBULines.empty()) {
    w.Sample("korvane_backup_unit_info", {{"type", c.BBUUnitType}, {"status", c.BBUStatus}}, 1.0);
    w.Sample("korvane_backup_unit_capacity_remaining_ratio", {}, Ratio(c.BBUCapacityRemaining));
    w.Sample("korvane_backup_unit_temperature_celsius", {}, LeadingNumber(c.BBUCurrentTemperature));
  }
}

// Logical and zepCache devices share their shape; `prefix` is "korvane_logical_device" or
// "korvane_zepcache_device".
struct DeviceFamilies {
  std::string info, ok, size, members, missing, read, written;
  explicit DeviceFamilies(const std::string& p)
      : info(p + "_info"), ok(p + "_ok"), size(p + "_size_bytes"), members(p + "_members"),
        missing(p + "_missing_members"), read(p + "_read_bytes_total"), written(p + "_written_bytes_total") {}
};

void DeclareDevice(MetricsWriter& w, const DeviceFamilies& f, const char* what, bool withStats) {
  const std::string kind = what;
  w.Family(f.info.c_str(), "gauge", (kind + " identity and state; always 1.").c_str());
  w.Family(f.ok.c_str(), "gauge", ("1 when the " + kind + " status reads Optimal or OK.").c_str());
  w.Family(f.size.c_str(), "gauge", ("Size of the " + kind + ".").c_str());
  w.Family(f.members.c_str(), "gauge", ("Drives that make up the " + kind + ".").c_str());
  w.Family(f.missing.c_str(), "gauge", ("Member rows of the " + kind + " that name no drive present.").c_str());
  if (!withStats) return;
  w.Family(f.read.c_str(), "counter", ("Bytes read from the " + kind + ", from the controller log.").c_str());
  w.Family(f.written.c_str(), "counter", ("Bytes written to the " + kind + ", from the controller log.").c_str());
}

template <class TRecord>
void DeviceSamples(MetricsWriter& w, const DeviceFamilies& f, const TRecord& d, const std::string& name,
                   const TKVStatsLDP* stats) {
  const Labels labels{{"number", d.Number}, {"name", name}, {"level", d.RaidLevel}};
  Labels info = labels;
  info.emplace_back("state", d.Status);
  w.Sample(f.info.c_str(), info, 1.0);
  w.Sample(f.ok.c_str(), labels, Flag(StatusOk(d.Status)));
  w.Sample(f.size.c_str(), labels, SizeBytes(d.Size));
  w.Sample(f.members.c_str(), labels, static_cast<double>(d.Members.Count()));
  w.Sample(f.missing.c_str(), labels, static_cast<double>(d.MissingMembers.size()));
  if (stats == nullptr) return;
  w.Sample(f.read.c_str(), labels, CounterBytes(stats->BlocksRead, stats->BlocksReadUnit));
  w.Sample(f.written.c_str(), labels, CounterBytes(stats->BlocksWritten, stats->BlocksWrittenUnit));
}

void DeviceMetrics(MetricsWriter& w, const TKVCore& core) {
  const DeviceFamilies lds("korvane_logical_device");
  DeclareDevice(w, lds, "logical device", true);
  for (const TResultLD& ld : core.Result.LDs) DeviceSamples(w, lds, ld, ld.Name, LogicalDeviceStatsOf(core, ld.Number));
  const DeviceFamilies zeps("korvane_zepcache_device");
  DeclareDevice(w, zeps, "zepCache device", false);
  for (const TResultZepLD& z : core.Result.ZepLDs) DeviceSamples(w, zeps, z, z.DeviceName, nullptr);
}

void DriveMetrics(MetricsWriter& w, const TKVCore& core) {
  w.Family("korvane_drive_info", "gauge", "Drive identity and state; always 1.");
  w.Family("korvane_drive_failed", "gauge", "1 when the drive state reads Failed, Defunct, Missing or Offline.");
  w.Family("korvane_drive_size_bytes", "gauge", "Drive size.");
  w.Family("korvane_drive_temperature_celsius", "gauge", "Drive temperature.");
  w.Family("korvane_drive_smart_health_ok", "gauge", "1 when the SMART health of a SAS drive reads OK.");
  w.Family("korvane_drive_smart_raw", "gauge", "Raw value of a SATA SMART attribute.");
  w.Family("korvane_drive_errors", "gauge", "Error counts of the drive from the controller log.");
  const TKVSmartNamesList& names = SmartNamesOf(core);
  for (const TResultHDD& d : core.Result.HDDs) {
    const Labels labels{{"channel", d.Channel}, {"device_id", d.DeviceId}, {"serial", d.SerialNumber}};
    Labels info = labels;
    info.insert(info.end(), {{"vendor", d.Vendor}, {"model", d.Model}, {"firmware", d.Firmware}, {"state", d.State}});
    w.Sample("korvane_drive_info", info, 1.0);
    w.Sample("korvane_drive_failed", labels, Flag(DriveFailed(d.State)));
    w.Sample("korvane_drive_size_bytes", labels, SizeBytes(d.Size));
    w.Sample("korvane_drive_temperature_celsius", labels, LeadingNumber(DriveTemperatureText(d)));
    if (SasTableOf(core, d) != nullptr && !d.SmartHealth.empty())
      w.Sample("korvane_drive_smart_health_ok", labels, Flag(StatusOk(d.SmartHealth)));
    if (const TKVSATASmartParams* sata = SataTableOf(core, d)) {
      for (const TKVSATASmartP& a : sata->Attributes) {
        if (a.Id < 0) continue;
        Labels attr = labels;
        attr.emplace_back("attribute_id", std::to_string(a.Id));
        attr.emplace_back("attribute", SataAttributeName(core, d, a.Id, names));
        w.Sample("korvane_drive_smart_raw", attr, WholeNumber(a.Raw));
      }
    }
    if (const TKVStatsPhysP* stats = DriveStatsOf(core, d)) {
      for (const DriveErrorCount& e : DriveErrorCounts(*stats)) {
        Labels kind = labels;
        kind.emplace_back("kind", e.Kind);
        w.Sample("korvane_drive_errors", kind, WholeNumber(*e.Text));
      }
    }
  }
}

void EnclosureAndTaskMetrics(MetricsWriter& w, const TKVCore& core) {
  w.Family("korvane_enclosure_temperature_celsius", "gauge", "Enclosure temperature.");
  for (const TResultEnclosure& e : core.Result.Enclosures)
    w.Sample("korvane_enclosure_temperature_celsius", {{"id", e.Id}}, LeadingNumber(e.Temperature));
  w.Family("korvane_task_progress_ratio", "gauge", "Progress of a background task, 0 to 1.");
  for (int i = 0; i < core.Tasks.Count(); ++i) {
    const TKVTaskItem& t = core.Tasks.Item(i);
    w.Sample("korvane_task_progress_ratio",
             {{"logical_device", t.LogicalDevice}, {"operation", t.CurrentOperation}, {"status", t.Status}},
             Ratio(t.PercentageComplete));
  }
}

void HealthMetrics(MetricsWriter& w, const TKVCore& core, const TCycleHealth& cycle) {
  w.Family("korvane_health", "gauge", "Health verdict of the last cycle: 0 OK, 1 Warning, 2 Critical.");
  w.Sample("korvane_health", {}, static_cast<double>(cycle.Verdict.Level));
  w.Family("korvane_drive_health", "gauge", "SMART verdict of the drive: 0 Good, 1 Caution, 2 Bad.");
  for (int i = 0; i < core.Result.HDDs.Count() && static_cast<size_t>(i) < cycle.Drives.size(); ++i) {
    const TResultHDD& d = core.Result.HDDs.Item(i);
    w.Sample("korvane_drive_health", {{"channel", d.Channel}, {"device_id", d.DeviceId}, {"serial", d.SerialNumber}},
             static_cast<double>(cycle.Drives[static_cast<size_t>(i)].Grade));
  }
  w.Family("korvane_state_changes_total", "counter", "State changes told since the start, by severity.");
  for (TSeverity s : {TSeverity::Information, TSeverity::Warning, TSeverity::Critical})
    w.Sample("korvane_state_changes_total", {{"severity", SeverityName(s)}},
             static_cast<double>(cycle.ChangeTotals[static_cast<size_t>(s)]));
}

}  // namespace

std::string MetricsLabelValue(const std::string& value) {
  // Most values are plain ASCII that needs no escape: copied as they are.
  bool plain = true;
  for (char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7f || c == '"' || c == '\\') {
      plain = false;
      break;
    }
  }
  if (plain) return value;
  const std::string utf8 = Cp1251ToUtf8(value);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7f) out += ' ';
    else out += c;
  }
  return out;
}

std::string RenderMetricsText(const TKVCore& core, const CollectionHealth& health, const TCycleHealth* cycle) {
  MetricsWriter w;
  CollectionMetrics(w, health);
  if (cycle != nullptr) HealthMetrics(w, core, *cycle);
  ControllerMetrics(w, core);
  DeviceMetrics(w, core);
  DriveMetrics(w, core);
  EnclosureAndTaskMetrics(w, core);
  return w.Text();
}

}  // namespace kv

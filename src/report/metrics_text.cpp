#include "report/metrics_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/text_utf8.h"
#include "model/smart_names.h"
#include "report/model_values.h"

namespace kv {

const char* SourceStatusName(SourceStatus status) {
  switch (status) {
    case SourceStatus::kOk: return "ok";
    case SourceStatus::kEmpty: return "empty";
    case SourceStatus::kFailed: return "failed";
    case SourceStatus::kTimedOut: return "timed_out";
    case SourceStatus::kCapped: return "capped";
    case SourceStatus::kIncomplete: return "incomplete";
  }
  return "failed";
}

const char* SourceName(int index) {
  static const char* const kNames[kSourceCount] = {"config", "smart", "task", "stat", "cache"};
  return index >= 0 && index < kSourceCount ? kNames[index] : "";
}

namespace {

void AppendLabelValue(std::string& out, std::string_view value) {
  static constexpr TSpecialBytes kSpecial =
      SpecialBytes([](unsigned b) { return b < 0x20 || b == 0x7f || b == '"' || b == '\\'; });
  AppendUtf8Escaped(out, value, kSpecial, [](std::string& o, unsigned char b) {
    if (b == '\\') o += "\\\\";
    else if (b == '"') o += "\\\"";
    else if (b == '\n') o += "\\n";
    else o += ' ';
  });
}

// Label pairs rendered once as `a="x",b="y"`, so the samples of one object share them.
class LabelText {
 public:
  LabelText& Add(std::string_view name, std::string_view value) {
    if (!text_.empty()) text_ += ',';
    text_.append(name).append("=\"");
    AppendLabelValue(text_, value);
    text_ += '"';
    return *this;
  }
  LabelText& Clear() {
    text_.clear();
    return *this;
  }
  std::string_view View() const { return text_; }

 private:
  std::string text_;
};

// Collects samples per family and writes the families in the order they were declared.
class MetricsWriter {
 public:
  using FamilyId = size_t;

  explicit MetricsWriter(int controller) {
    controller_ = "controller=\"";
    controller_ += std::to_string(controller);
    controller_ += '"';
  }

  FamilyId Family(std::string name, const char* type, std::string help) {
    families_.push_back({std::move(name), type, std::move(help), {}});
    return families_.size() - 1;
  }

  // `labels` and `more` are rendered label lists; the controller label goes first.
  void Sample(FamilyId family, std::string_view labels, std::optional<double> value) {
    Sample(family, labels, {}, value);
  }
  void Sample(FamilyId family, std::string_view labels, std::string_view more, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return;
    FamilyText& f = families_[family];
    std::string& out = f.samples;
    const size_t start = out.size();
    out += f.name;
    out += '{';
    out += controller_;
    if (!labels.empty()) out.append(1, ',').append(labels);
    if (!more.empty()) out.append(1, ',').append(more);
    out += '}';
    // The series is written in place and taken back when it was seen before.
    const std::string_view series(out.data() + start, out.size() - start);
    if (!seen_.insert(SeriesRef{std::hash<std::string_view>()(series), family, start, series.size()}).second) {
      out.resize(start);
      return;
    }
    out += ' ';
    AppendNumber(out, *value);
    out += '\n';
  }

  // The family headers and samples; the writer is spent. Samples are trimmed to size, as
  // they are held until the next cycle.
  TMetricsParts TakeParts() {
    TMetricsParts parts;
    parts.Headers.reserve(families_.size());
    parts.Families.reserve(families_.size());
    for (auto& f : families_) {
      parts.Headers.push_back("# HELP " + f.name + ' ' + f.help + "\n# TYPE " + f.name + ' ' + f.type + '\n');
      f.samples.shrink_to_fit();
      parts.Families.push_back(std::move(f.samples));
    }
    return parts;
  }

 private:
  struct FamilyText {
    std::string name, type, help, samples;
  };
  // A series already written: its place in the samples of its family.
  struct SeriesRef {
    size_t hash, family, start, size;
  };
  struct SeriesHash {
    size_t operator()(const SeriesRef& r) const { return r.hash; }
  };
  struct SeriesEqual {
    const std::vector<FamilyText>* families;
    bool operator()(const SeriesRef& a, const SeriesRef& b) const {
      if (a.family != b.family || a.size != b.size) return false;
      const std::string& text = (*families)[a.family].samples;
      return text.compare(a.start, a.size, text, b.start, b.size) == 0;
    }
  };

  std::string controller_;
  std::vector<FamilyText> families_;
  std::unordered_set<SeriesRef, SeriesHash, SeriesEqual> seen_{64, SeriesHash{}, SeriesEqual{&families_}};
};

std::optional<double> Flag(bool b) { return b ? 1.0 : 0.0; }

std::optional<double> Ratio(const std::string& percentText) {
  const auto v = LeadingNumber(percentText);
  if (!v) return std::nullopt;
  return *v / 100.0;
}

void CollectionMetrics(MetricsWriter& w, const CollectionHealth& h) {
  const auto up = w.Family("korvane_up", "gauge", "Whether the last collection cycle was good: 1 yes, 0 no (the data shown is older).");
  w.Sample(up, {}, Flag(h.Up));
  const auto last = w.Family("korvane_collection_last_success_timestamp_seconds", "gauge",
                             "Unix time of the last good collection cycle.");
  if (h.LastSuccessUnixSeconds > 0) w.Sample(last, {}, static_cast<double>(h.LastSuccessUnixSeconds));
  const auto duration =
      w.Family("korvane_collection_duration_seconds", "gauge", "Duration of the last collection cycle.");
  w.Sample(duration, {}, h.DurationSeconds);
  const auto total =
      w.Family("korvane_collections_total", "counter", "Collection cycles run since the service started.");
  w.Sample(total, {}, static_cast<double>(h.CollectionsTotal));

  const auto status = w.Family("korvane_source_last_status", "gauge",
                               "Outcome of the last read of a source: 0 ok, 1 empty, 2 failed, 3 timed out, 4 capped, 5 incomplete.");
  const auto source_duration =
      w.Family("korvane_source_duration_seconds", "gauge", "Duration of the last read of a source.");
  const auto bytes =
      w.Family("korvane_source_output_bytes", "gauge", "Size of the text the last read of a source gave.");
  LabelText labels;
  for (int i = 0; i < kSourceCount; ++i) {
    const SourceHealth& s = h.Sources[static_cast<size_t>(i)];
    if (!s.Configured) continue;
    labels.Clear().Add("source", SourceName(i));
    w.Sample(status, labels.View(), static_cast<double>(static_cast<int>(s.Status)));
    w.Sample(source_duration, labels.View(), s.DurationSeconds);
    w.Sample(bytes, labels.View(), static_cast<double>(s.OutputBytes));
  }
}

void ControllerMetrics(MetricsWriter& w, const TKVCore& core) {
  const TResultController& c = core.Result.Controller;
  const auto info = w.Family("korvane_controller_info", "gauge", "Controller identity; always 1.");
  const auto ok =
      w.Family("korvane_controller_status_ok", "gauge", "1 when the controller status reads Optimal or OK.");
  const auto temperature =
      w.Family("korvane_controller_temperature_celsius", "gauge", "Controller temperature.");
  if (!c.Lines.empty() || !c.VersionLines.empty()) {
    LabelText labels;
    labels.Add("model", c.Model).Add("serial", c.SerialNumber).Add("mode", c.Mode);
    labels.Add("firmware", ControllerFirmware(c));
    w.Sample(info, labels.View(), 1.0);
    if (!c.Status.empty()) w.Sample(ok, {}, Flag(StatusOk(c.Status)));
    w.Sample(temperature, {}, LeadingNumber(c.Temperature));
  }

  const auto bbu = w.Family("korvane_backup_unit_info", "gauge", "Backup unit type and status; always 1.");
  const auto remaining = w.Family("korvane_backup_unit_capacity_remaining_ratio", "gauge",
                                  "Backup unit capacity remaining, 0 to 1.");
  const auto bbu_temperature =
      w.Family("korvane_backup_unit_temperature_celsius", "gauge", "Backup unit temperature.");
  if (!c.BBULines.empty()) {
    LabelText labels;
    labels.Add("type", c.BBUUnitType).Add("status", c.BBUStatus);
    w.Sample(bbu, labels.View(), 1.0);
    w.Sample(remaining, {}, Ratio(c.BBUCapacityRemaining));
    w.Sample(bbu_temperature, {}, LeadingNumber(c.BBUCurrentTemperature));
  }
}

// Logical and zepCache devices share their shape; `prefix` is "korvane_logical_device" or
// "korvane_zepcache_device".
struct DeviceFamilies {
  MetricsWriter::FamilyId info, ok, size, members, missing, read = 0, written = 0;

  DeviceFamilies(MetricsWriter& w, const std::string& p, const std::string& kind, bool withStats)
      : info(w.Family(p + "_info", "gauge", kind + " identity and state; always 1.")),
        ok(w.Family(p + "_ok", "gauge", "1 when the " + kind + " status reads Optimal or OK.")),
        size(w.Family(p + "_size_bytes", "gauge", "Size of the " + kind + ".")),
        members(w.Family(p + "_members", "gauge", "Drives that make up the " + kind + ".")),
        missing(w.Family(p + "_missing_members", "gauge", "Member rows of the " + kind + " that name no drive present.")) {
    if (!withStats) return;
    read = w.Family(p + "_read_bytes_total", "counter", "Bytes read from the " + kind + ", from the controller log.");
    written =
        w.Family(p + "_written_bytes_total", "counter", "Bytes written to the " + kind + ", from the controller log.");
  }
};

template <class TRecord>
void DeviceSamples(MetricsWriter& w, const DeviceFamilies& f, const TRecord& d, const std::string& name,
                   const TKVStatsLDP* stats) {
  LabelText labels;
  labels.Add("number", d.Number).Add("name", name).Add("level", d.RaidLevel);
  LabelText state;
  state.Add("state", d.Status);
  w.Sample(f.info, labels.View(), state.View(), 1.0);
  w.Sample(f.ok, labels.View(), Flag(StatusOk(d.Status)));
  w.Sample(f.size, labels.View(), SizeBytes(d.Size));
  w.Sample(f.members, labels.View(), static_cast<double>(d.Members.Count()));
  w.Sample(f.missing, labels.View(), static_cast<double>(d.MissingMembers.size()));
  if (stats == nullptr) return;
  w.Sample(f.read, labels.View(), CounterBytes(stats->BlocksRead, stats->BlocksReadUnit));
  w.Sample(f.written, labels.View(), CounterBytes(stats->BlocksWritten, stats->BlocksWrittenUnit));
}

void DeviceMetrics(MetricsWriter& w, const TKVCore& core) {
  const DeviceFamilies lds(w, "korvane_logical_device", "logical device", true);
  for (const TResultLD& ld : core.Result.LDs) DeviceSamples(w, lds, ld, ld.Name, LogicalDeviceStatsOf(core, ld.Number));
  const DeviceFamilies zeps(w, "korvane_zepcache_device", "zepCache device", false);
  for (const TResultZepLD& z : core.Result.ZepLDs) DeviceSamples(w, zeps, z, z.DeviceName, nullptr);
}

void DriveMetrics(MetricsWriter& w, const TKVCore& core) {
  const auto info = w.Family("korvane_drive_info", "gauge", "Drive identity and state; always 1.");
  const auto failed =
      w.Family("korvane_drive_failed", "gauge", "1 when the drive state reads Failed, Defunct, Missing or Offline.");
  const auto size = w.Family("korvane_drive_size_bytes", "gauge", "Drive size.");
  const auto temperature = w.Family("korvane_drive_temperature_celsius", "gauge", "Drive temperature.");
  const auto smart_ok =
      w.Family("korvane_drive_smart_health_ok", "gauge", "1 when the SMART health of a SAS drive reads OK.");
  const auto raw = w.Family("korvane_drive_smart_raw", "gauge", "Raw value of a SATA SMART attribute.");
  const auto errors = w.Family("korvane_drive_errors", "gauge", "Error counts of the drive from the controller log.");
  const TKVSmartNamesList& names = SmartNamesOf(core);
  const TSmartTables tables(core);
  LabelText labels, more;
  for (const TResultHDD& d : core.Result.HDDs) {
    labels.Clear().Add("channel", d.Channel).Add("device_id", d.DeviceId).Add("serial", d.SerialNumber);
    more.Clear().Add("vendor", d.Vendor).Add("model", d.Model).Add("firmware", d.Firmware).Add("state", d.State);
    w.Sample(info, labels.View(), more.View(), 1.0);
    w.Sample(failed, labels.View(), Flag(DriveFailed(d.State)));
    w.Sample(size, labels.View(), SizeBytes(d.Size));
    w.Sample(temperature, labels.View(), LeadingNumber(DriveTemperatureText(d)));
    if (tables.Sas(d) != nullptr && !d.SmartHealth.empty())
      w.Sample(smart_ok, labels.View(), Flag(StatusOk(d.SmartHealth)));
    if (const TKVSATASmartParams* sata = tables.Sata(d)) {
      const TSataAttributeNames attribute_names(core, d, names);
      for (const TKVSATASmartP& a : sata->Attributes) {
        if (a.Id < 0) continue;
        char id[16];
        const std::string_view id_text(id, static_cast<size_t>(std::to_chars(id, id + sizeof id, a.Id).ptr - id));
        more.Clear().Add("attribute_id", id_text).Add("attribute", attribute_names.Of(a.Id));
        w.Sample(raw, labels.View(), more.View(), WholeNumber(a.Raw));
      }
    }
    if (const TKVStatsPhysP* stats = DriveStatsOf(core, d)) {
      for (const DriveErrorCount& e : DriveErrorCounts(*stats)) {
        more.Clear().Add("kind", e.Kind);
        w.Sample(errors, labels.View(), more.View(), WholeNumber(*e.Text));
      }
    }
  }
}

void EnclosureAndTaskMetrics(MetricsWriter& w, const TKVCore& core) {
  const auto enclosure = w.Family("korvane_enclosure_temperature_celsius", "gauge", "Enclosure temperature.");
  LabelText labels;
  for (const TResultEnclosure& e : core.Result.Enclosures)
    w.Sample(enclosure, labels.Clear().Add("id", e.Id).View(), LeadingNumber(e.Temperature));
  const auto progress = w.Family("korvane_task_progress_ratio", "gauge", "Progress of a background task, 0 to 1.");
  for (int i = 0; i < core.Tasks.Count(); ++i) {
    const TKVTaskItem& t = core.Tasks.Item(i);
    labels.Clear().Add("logical_device", t.LogicalDevice).Add("operation", t.CurrentOperation).Add("status", t.Status);
    w.Sample(progress, labels.View(), Ratio(t.PercentageComplete));
  }
}

// The families are declared without a cycle too: every controller's parts then hold the
// same families in the same order.
void HealthMetrics(MetricsWriter& w, const TKVCore& core, const TCycleHealth* cycle) {
  const auto health =
      w.Family("korvane_health", "gauge", "Health verdict of the last cycle: 0 OK, 1 Warning, 2 Critical.");
  const auto reason = w.Family("korvane_health_reason", "gauge",
                               "One sample per reason of the verdict (always 1): what it names and why.");
  const auto drive_health =
      w.Family("korvane_drive_health", "gauge", "SMART verdict of the drive: 0 Good, 1 Caution, 2 Bad.");
  const auto changes =
      w.Family("korvane_state_changes_total", "counter", "State changes told since the start, by severity.");
  if (cycle == nullptr) return;
  w.Sample(health, {}, static_cast<double>(cycle->Verdict.Level));
  LabelText labels;
  // A dashboard lists the fleet's problems from these without parsing the pages.
  for (const THealthReason& r : cycle->Verdict.Reasons) {
    labels.Clear().Add("level", HealthWord(r.Level)).Add("object", r.Object).Add("text", r.Text);
    w.Sample(reason, labels.View(), 1.0);
  }
  for (int i = 0; i < core.Result.HDDs.Count() && static_cast<size_t>(i) < cycle->Drives.size(); ++i) {
    const TResultHDD& d = core.Result.HDDs.Item(i);
    labels.Clear().Add("channel", d.Channel).Add("device_id", d.DeviceId).Add("serial", d.SerialNumber);
    w.Sample(drive_health, labels.View(), static_cast<double>(cycle->Drives[static_cast<size_t>(i)].Grade));
  }
  for (TSeverity s : {TSeverity::Information, TSeverity::Warning, TSeverity::Critical})
    w.Sample(changes, labels.Clear().Add("severity", SeverityName(s)).View(),
             static_cast<double>(cycle->ChangeTotals[static_cast<size_t>(s)]));
}

// Family by family: one header, then the samples of each controller in turn. Parts given
// as non-const are released as they are copied (the one-controller text keeps none).
template <class Parts>
std::string JoinParts(std::span<Parts* const> controllers) {
  size_t size = 0, families = 0;
  for (const TMetricsParts* p : controllers) {
    if (p == nullptr) continue;
    families = std::max(families, p->Families.size());
    for (size_t i = 0; i < p->Families.size(); ++i)
      if (!p->Families[i].empty()) size += p->Headers[i].size() + p->Families[i].size();
  }
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < families; ++i) {
    bool header = false;
    for (Parts* p : controllers) {
      if (p == nullptr || i >= p->Families.size() || p->Families[i].empty()) continue;
      if (!header) out += p->Headers[i];
      header = true;
      out += p->Families[i];
      if constexpr (!std::is_const_v<Parts>) std::string().swap(p->Families[i]);
    }
  }
  return out;
}

}  // namespace

std::string MetricsLabelValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  AppendLabelValue(out, value);
  return out;
}

TMetricsParts RenderMetricsParts(int controller, const TKVCore& core, const CollectionHealth& health,
                                 const TCycleHealth* cycle) {
  MetricsWriter w(controller);
  CollectionMetrics(w, health);
  HealthMetrics(w, core, cycle);
  ControllerMetrics(w, core);
  DeviceMetrics(w, core);
  DriveMetrics(w, core);
  EnclosureAndTaskMetrics(w, core);
  return w.TakeParts();
}

std::string JoinMetricsParts(std::span<const TMetricsParts* const> controllers) {
  return JoinParts(controllers);
}

std::string RenderMetricsText(const TKVCore& core, const CollectionHealth& health, const TCycleHealth* cycle) {
  TMetricsParts parts = RenderMetricsParts(1, core, health, cycle);
  TMetricsParts* const one[] = {&parts};
  return JoinParts(std::span<TMetricsParts* const>(one));
}

}  // namespace kv

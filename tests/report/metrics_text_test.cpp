#include "report/metrics_text.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "health/verdict.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "report/metrics_support.h"
#include "report/model_values.h"

namespace kv {
namespace {

using testing::DemoCore;
using testing::UpHealth;

// Checks the exposition structure and returns "name{labels}" -> value text.
std::map<std::string, std::string> Samples(const std::string& text) {
  static const std::regex kSample(R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-z_]+="([^"\\\n]|\\[\\"n])*",?)*\})? (\S+))");
  std::map<std::string, std::string> out;
  std::set<std::string> typed, finished;
  std::string current;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# HELP ", 0) == 0) continue;
    if (line.rfind("# TYPE ", 0) == 0) {
      std::string name = line.substr(7, line.find(' ', 7) - 7);
      EXPECT_TRUE(typed.insert(name).second) << "family typed twice: " << name;
      if (!current.empty()) finished.insert(current);
      current = name;
      continue;
    }
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, kSample)) << line;
    if (m.empty()) continue;
    EXPECT_EQ(m[1].str(), current) << "sample outside its family: " << line;
    EXPECT_EQ(line.compare(m[1].length(), 13, "{controller=\""), 0) << "controller is not the first label: " << line;
    const std::string series = line.substr(0, line.rfind(' '));
    EXPECT_TRUE(out.emplace(series, m[5].str()).second) << "repeated series " << series;
  }
  EXPECT_TRUE(text.empty() || text.back() == '\n');
  return out;
}

TEST(MetricsText, DemoValuesFollowTheOutputs) {
  const auto core = DemoCore();
  const auto s = Samples(RenderMetricsText(*core, UpHealth()));
  const std::map<std::string, std::string> expected = {
      {"korvane_up{controller=\"1\"}", "1"},
      {"korvane_collections_total{controller=\"1\"}", "3"},
      {"korvane_collection_last_success_timestamp_seconds{controller=\"1\"}", "1765000000"},
      {"korvane_source_last_status{controller=\"1\",source=\"smart\"}", "0"},
      {"korvane_controller_status_ok{controller=\"1\"}", "1"},
      {"korvane_controller_temperature_celsius{controller=\"1\"}", "48"},
      {"korvane_backup_unit_capacity_remaining_ratio{controller=\"1\"}", "0.98"},
      {"korvane_backup_unit_info{controller=\"1\",type=\"Battery\",status=\"Optimal\"}", "1"},
      {"korvane_logical_device_ok{controller=\"1\",number=\"1\",name=\"System\",level=\"1\"}", "0"},
      {"korvane_logical_device_ok{controller=\"1\",number=\"0\",name=\"Data\",level=\"5\"}", "1"},
      {"korvane_logical_device_size_bytes{controller=\"1\",number=\"0\",name=\"Data\",level=\"5\"}", std::to_string(2861568LL * 1048576)},
      {"korvane_logical_device_members{controller=\"1\",number=\"1\",name=\"System\",level=\"1\"}", "2"},  // the rebuilding one too
      {"korvane_logical_device_missing_members{controller=\"1\",number=\"1\",name=\"System\",level=\"1\"}", "0"},
      {"korvane_task_progress_ratio{controller=\"1\",logical_device=\"1\",operation=\"Rebuild\",status=\"In Progress\"}", "0.45"},
      {"korvane_drive_failed{controller=\"1\",channel=\"0\",device_id=\"0\",serial=\"WD-WMC1T0000101\"}", "0"},
      {"korvane_drive_size_bytes{controller=\"1\",channel=\"0\",device_id=\"0\",serial=\"WD-WMC1T0000101\"}", std::to_string(953869LL * 1048576)},
  };
  for (const auto& [series, value] : expected) {
    auto it = s.find(series);
    ASSERT_NE(it, s.end()) << series;
    EXPECT_EQ(it->second, value) << series;
  }
  // Every drive has exactly one failed flag, and the families the dashboards use exist.
  int drives = 0, failed = 0, temps = 0, raw = 0;
  for (const auto& [series, value] : s) {
    if (series.rfind("korvane_drive_failed{controller=\"1\",", 0) == 0) ++drives, failed += value == "1";
    if (series.rfind("korvane_drive_temperature_celsius{controller=\"1\",", 0) == 0) ++temps;
    if (series.rfind("korvane_drive_smart_raw{controller=\"1\",", 0) == 0) ++raw;
  }
  EXPECT_EQ(drives, core->Result.HDDs.Count());
  int readableTemps = 0;
  for (const TResultHDD& d : core->Result.HDDs) readableTemps += LeadingNumber(DriveTemperatureText(d)).has_value();
  EXPECT_EQ(temps, readableTemps);
  EXPECT_GT(temps, 0);
  EXPECT_GT(raw, 0);
  int failedStates = 0;
  for (const TResultHDD& d : core->Result.HDDs) failedStates += DriveFailed(d.State);
  EXPECT_EQ(failed, failedStates);
}

// The cycle's verdicts, judged from the demo itself (a degraded device, a failed drive
// outside every device, a spare whose SMART health reads failure).
TEST(MetricsText, HealthVerdictsAndChangeCounters) {
  const auto core = DemoCore();
  TCycleHealth cycle;
  cycle.Drives = JudgeDrives(*core, DefaultDriveTemperatureMax());
  cycle.Verdict = JudgeHealth(*core, cycle.Drives, "");
  cycle.ChangeTotals = {4, 2, 1};
  const auto s = Samples(RenderMetricsText(*core, UpHealth(), &cycle));
  EXPECT_EQ(s.at("korvane_health{controller=\"1\"}"), "2");
  EXPECT_EQ(s.at("korvane_state_changes_total{controller=\"1\",severity=\"critical\"}"), "1");
  EXPECT_EQ(s.at("korvane_state_changes_total{controller=\"1\",severity=\"information\"}"), "4");
  int drives = 0, bad = 0;
  for (const auto& [series, value] : s)
    if (series.rfind("korvane_drive_health{controller=\"1\",", 0) == 0) ++drives, bad += value == "2";
  EXPECT_EQ(drives, core->Result.HDDs.Count());
  EXPECT_EQ(bad, 2);  // the failed drive and the spare
  // One reason sample per reason of the verdict, level and object as the page names them.
  size_t reasons = 0;
  for (const auto& [series, value] : s) reasons += series.rfind("korvane_health_reason{controller=\"1\",level=\"", 0) == 0 && value == "1";
  EXPECT_EQ(reasons, cycle.Verdict.Reasons.size());
  EXPECT_EQ(s.count("korvane_health_reason{controller=\"1\",level=\"Warning\",object=\"Logical device 1 (System)\",text=\"Degraded\"}"), 1u);
  // Without the cycle's findings the families are left out.
  EXPECT_EQ(RenderMetricsText(*core, UpHealth()).find("korvane_health"), std::string::npos);
}

TEST(MetricsText, HealthStatusesAndDownCycle) {
  TKVCore empty;
  ParseConfig("", empty);
  BuildResult(empty);
  CollectionHealth h;
  h.CollectionsTotal = 1;
  h.Sources[kSourceConfig] = {true, SourceStatus::kEmpty, 0.5, 0};
  h.Sources[kSourceSmart] = {true, SourceStatus::kFailed, 0.01, 12};
  h.Sources[kSourceTask] = {true, SourceStatus::kTimedOut, 300, 0};
  h.Sources[kSourceStat] = {true, SourceStatus::kCapped, 1, 67108864};
  // cache not configured: no series at all
  const auto s = Samples(RenderMetricsText(empty, h));
  EXPECT_EQ(s.at("korvane_up{controller=\"1\"}"), "0");
  EXPECT_EQ(s.count("korvane_collection_last_success_timestamp_seconds{controller=\"1\"}"), 0u);
  EXPECT_EQ(s.at("korvane_source_last_status{controller=\"1\",source=\"config\"}"), "1");
  EXPECT_EQ(s.at("korvane_source_last_status{controller=\"1\",source=\"smart\"}"), "2");
  EXPECT_EQ(s.at("korvane_source_last_status{controller=\"1\",source=\"task\"}"), "3");
  EXPECT_EQ(s.at("korvane_source_last_status{controller=\"1\",source=\"stat\"}"), "4");
  EXPECT_EQ(s.at("korvane_source_output_bytes{controller=\"1\",source=\"stat\"}"), "67108864");
  EXPECT_EQ(s.at("korvane_source_duration_seconds{controller=\"1\",source=\"task\"}"), "300");
  EXPECT_EQ(s.count("korvane_source_last_status{controller=\"1\",source=\"cache\"}"), 0u);
  for (const auto& [series, value] : s) EXPECT_EQ(series.rfind("korvane_controller", 0), std::string::npos) << series;
}

// Two controllers with the same drives: one exposition, each family typed once with
// controller 1's samples ahead of controller 2's, no series repeated.
TEST(MetricsText, ControllersJoinFamilyByFamily) {
  const auto core = DemoCore();
  TCycleHealth cycle;
  cycle.Verdict.Level = THealth::Warning;
  const TMetricsParts first = RenderMetricsParts(1, *core, UpHealth());
  const TMetricsParts second = RenderMetricsParts(2, *core, CollectionHealth{}, &cycle);
  const TMetricsParts* const both[] = {&first, nullptr, &second};
  const std::string text = JoinMetricsParts(both);
  const auto s = Samples(text);
  EXPECT_EQ(s.at("korvane_up{controller=\"1\"}"), "1");
  EXPECT_EQ(s.at("korvane_up{controller=\"2\"}"), "0");
  EXPECT_EQ(s.at("korvane_health{controller=\"2\"}"), "1");  // typed though controller 1 has none
  EXPECT_EQ(s.count("korvane_health{controller=\"1\"}"), 0u);
  size_t drives = 0;
  for (const auto& [series, value] : s) drives += series.rfind("korvane_drive_failed{", 0) == 0;
  EXPECT_EQ(drives, 2u * static_cast<size_t>(core->Result.HDDs.Count()));
  std::istringstream in(text);
  char last = '1';
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# TYPE ", 0) == 0) last = '1';
    const size_t at = line.find("{controller=\"");
    if (line[0] == '#' || at == std::string::npos) continue;
    EXPECT_GE(line[at + 13], last) << line;
    last = line[at + 13];
  }
  const TMetricsParts* const one[] = {&first};
  EXPECT_EQ(JoinMetricsParts(one), RenderMetricsText(*core, UpHealth()));
}

TEST(MetricsText, LabelValuesAreConvertedAndEscaped) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"plain", "plain"},
      {"\xC4\xE8\xF1\xEA", "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA"},  // Cyrillic word
      {"a\"b\\c\nd", "a\\\"b\\\\c\\nd"},
      {"tab\there\r", "tab here "},
      {"\x98", "\xEF\xBF\xBD"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(MetricsLabelValue(in), out) << in;
}

TEST(MetricsText, UnreadableValuesGiveNoSampleAndRepeatsAreDropped) {
  TKVCore core;
  for (int i = 0; i < 3; ++i) {  // the third repeats the first drive's labels
    TResultHDD& d = core.Result.HDDs.Add();
    d.Channel = "0";
    d.DeviceId = i == 1 ? "6" : "5";
    d.SerialNumber = "S\"1";
    d.State = i == 0 ? "Failed" : "Online";
    d.Size = i == 1 ? "10 MB" : "N/A";
    d.SmartTemperature = i == 1 ? "30 C" : "unknown";
  }
  TResultEnclosure& e = core.Result.Enclosures.Add();
  e.Id = "0";
  e.Temperature = "Not Available";
  TKVTaskItem& t = core.Tasks.Add();
  t.LogicalDevice = "0";
  t.PercentageComplete = "";
  const std::string text = RenderMetricsText(core, CollectionHealth{});
  const auto s = Samples(text);
  const std::string labels = "{controller=\"1\",channel=\"0\",device_id=\"5\",serial=\"S\\\"1\"}";
  EXPECT_EQ(s.at("korvane_drive_failed" + labels), "1");
  EXPECT_EQ(s.count("korvane_drive_size_bytes" + labels), 0u);
  EXPECT_EQ(s.count("korvane_drive_temperature_celsius" + labels), 0u);
  EXPECT_EQ(s.at("korvane_drive_size_bytes{controller=\"1\",channel=\"0\",device_id=\"6\",serial=\"S\\\"1\"}"), "10485760");
  EXPECT_EQ(text.find("korvane_enclosure_temperature_celsius"), std::string::npos);
  EXPECT_EQ(text.find("korvane_task_progress_ratio"), std::string::npos);
}

TEST(ModelValues, NumberReaders) {
  struct Row {
    const char* text;
    std::optional<double> leading, whole, size;
  };
  const std::optional<double> none;
  const Row rows[] = {
      {"48 C/ 118 F (Normal)", 48, none, none},
      {"  -5 C", -5, none, none},
      {"2861568 MB", 2861568, none, 2861568.0 * 1048576},
      {"512 Bytes", 512, none, 512},
      {"1.5 GB", 1.5, none, 1.5 * 1073741824},
      {"3 XB", 3, none, none},
      {"219044773919", 219044773919.0, 219044773919.0, none},
      {"12a", 12, none, none},
      {"N/A", none, none, none},
      {"", none, none, none},
      {"-", none, none, none},
      {".5", none, none, none},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(LeadingNumber(r.text), r.leading) << r.text;
    EXPECT_EQ(WholeNumber(r.text), r.whole) << r.text;
    EXPECT_EQ(SizeBytes(r.text), r.size) << r.text;
  }
  EXPECT_EQ(CounterBytes("7", "KB"), 7168.0);
  EXPECT_EQ(CounterBytes("7", ""), 7.0);
  EXPECT_EQ(CounterBytes("7", "ZB"), none);
  // A digit run too long for a double is left out rather than published as infinity.
  EXPECT_EQ(WholeNumber(std::string(400, '9')), none);
}

TEST(ModelValues, StateWords) {
  const std::pair<const char*, bool> failed[] = {{"Failed", true},   {"DEFUNCT", true}, {"Missing (hot spare)", true},
                                                 {"offline", true},  {"Online", false}, {"Rebuilding", false},
                                                 {"Ready", false}};
  for (const auto& [state, want] : failed) EXPECT_EQ(DriveFailed(state), want) << state;
  const std::pair<const char*, bool> ok[] = {{"Optimal", true}, {" ok ", true},        {"OK", true},
                                             {"Degraded", false}, {"Optimal (x)", false}, {"", false}};
  for (const auto& [status, want] : ok) EXPECT_EQ(StatusOk(status), want) << status;
}

}  // namespace
}  // namespace kv

// What a sample holds of the demo controller, and which predictive values count as grown
// over a week of readings: growth, resets, absent readings, growth older than the week,
// and the bound on what the window keeps.
#include <gtest/gtest.h>

#include "health/smart_verdict.h"
#include "history/growth_window.h"
#include "history/history_values.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "test_files.h"

namespace kv {
namespace {

constexpr int64_t kDay = 24 * 3600;
constexpr int64_t kStart = 1'765'000'000;

size_t Column(const char* name) {
  const int i = KeptValueIndex(name);
  EXPECT_GE(i, 0) << name;
  return static_cast<size_t>(i);
}

const TDriveSample* DriveAt(const THistorySample& s, const std::string& channel, const std::string& id) {
  for (const TDriveSample& d : s.Drives)
    if (d.Channel == channel && d.Id == id) return &d;
  return nullptr;
}

TEST(HistoryValues, SampleOfTheDemoController) {
  TKVCore core;
  ParseConfig(test::ReadFile(test::kDemoDir + "get_config.txt"), core);
  ParseSmart(test::ReadFile(test::kDemoDir + "get_smartstats.txt"), core);
  ParseLogStats(test::ReadFile(test::kDemoDir + "get_logs_stats.txt"), core);
  BuildResult(core);
  const auto verdicts = JudgeDrives(core, 55);
  const THistorySample s = TakeHistorySample(core, verdicts, 2, kStart);

  EXPECT_EQ(s.Time, kStart);
  EXPECT_EQ(s.Controller, 2);
  EXPECT_EQ(s.ControllerValues.Status, "Optimal");
  EXPECT_EQ(s.ControllerValues.Temperature, 48);  // "48 C/ 118 F (Normal)"
  EXPECT_EQ(s.ControllerValues.BackupStatus, "Ready");
  EXPECT_EQ(s.ControllerValues.BackupTemperature, 29);  // "29 deg C"
  ASSERT_FALSE(s.Devices.empty());
  EXPECT_EQ(s.Devices[0].Kind, "logical");
  EXPECT_EQ(s.Devices[0].Members.find_first_not_of("0123456789, -"), std::string::npos) << s.Devices[0].Members;
  ASSERT_EQ(s.Drives.size(), static_cast<size_t>(core.Result.HDDs.Count()));

  // A SATA drive: attributes and power-on hours from its table, counters from the log.
  const TDriveSample* sata = DriveAt(s, "0", "2");
  ASSERT_NE(sata, nullptr);
  EXPECT_EQ(sata->Drive, "WD-WMC1T0000103");
  EXPECT_EQ(sata->Smart, "Caution");
  EXPECT_EQ(sata->Values[Column("attr_5")], 90);
  EXPECT_EQ(sata->Values[Column("power_on_hours")], 27411);
  EXPECT_EQ(sata->Values[Column("attr_199")], std::nullopt);  // not in its table
  EXPECT_EQ(sata->Values[Column("grown_defects")], std::nullopt);
  EXPECT_EQ(sata->Values[Column("hardware_errors")], 1);
  EXPECT_EQ(sata->Values[Column("aborted_commands")], 3);
  EXPECT_EQ(sata->Values[Column("temperature")], 40);  // the SMART one (attribute 194), not the listing's 36
  // A SAS drive: the grown defect list, no SATA attributes.
  const TDriveSample* sas = DriveAt(s, "0", "6");
  ASSERT_NE(sas, nullptr);
  EXPECT_EQ(sas->Values[Column("grown_defects")], 2);
  EXPECT_EQ(sas->Values[Column("medium_errors")], 3);
  EXPECT_EQ(sas->Values[Column("attr_5")], std::nullopt);
  EXPECT_EQ(sas->Values[Column("power_on_hours")], std::nullopt);
}

TEST(HistoryValues, RepeatedOrMissingSerialsAreKnownByTheirPlace) {
  TKVCore core;
  for (const auto& [serial, id] : {std::pair{"A1", "0"}, {"B2", "1"}, {"b2", "2"}, {"", "3"}}) {
    TResultHDD& d = core.Result.HDDs.Add();
    d.SerialNumber = serial;
    d.Channel = "0";
    d.DeviceId = id;
  }
  EXPECT_EQ(DriveHistoryKeys(core, 3), (std::vector<std::string>{"A1", "c3:0,1", "c3:0,2", "c3:0,3"}));
}

// `readings[d]` is read on day d; the window is judged at the last of them.
std::string GrowthAfter(const char* column, const std::vector<std::optional<int64_t>>& readings) {
  TGrowthWindow window;
  TStoredDriveRow row;
  row.Drive = "SN1";
  for (size_t d = 0; d < readings.size(); ++d) {
    row.Time = kStart + static_cast<int64_t>(d) * kDay;
    row.Values[Column(column)] = readings[d];
    window.Add(row);
  }
  window.Prune(row.Time);
  std::string texts;
  for (const TGrowth& g : window.GrowthOf("SN1")) texts += (texts.empty() ? "" : "; ") + GrowthText(g);
  return texts;
}

TEST(GrowthWindow, GrowthCountsFromTheWeekStartOrTheLastReset) {
  const std::optional<int64_t> absent;
  struct Case {
    const char* name;
    const char* column;
    std::vector<std::optional<int64_t>> readings;
    std::string grown;
  } cases[] = {
      {"flat high", "attr_5", {24, 24, 24, 24, 24, 24, 24, 24, 24, 24}, ""},
      {"slow growth", "attr_197", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "attribute 197 grew from 3 to 10 in 7 days"},
      {"a jump today", "attr_5", {8, 8, 8, 8, 8, 8, 8, 8, 8, 40}, "attribute 5 grew from 8 to 40 in 7 days"},
      {"a jump older than the week", "attr_5", {8, 24, 24, 24, 24, 24, 24, 24, 24, 24}, ""},
      {"a new drive", "medium_errors", {0, 0, 3}, "medium errors grew from 0 to 3 in 2 days"},
      {"a swap under the same place", "grown_defects", {30, 30, 30, 0, 0, 0}, ""},
      {"growth after a swap", "grown_defects", {30, 31, 31, 0, 0, 2}, "grown defects grew from 0 to 2 in 2 days"},
      {"absent readings are skipped", "attr_187", {5, absent, absent, 9}, "attribute 187 grew from 5 to 9 in 3 days"},
      {"absent today keeps the last reading", "attr_187", {5, 9, absent}, "attribute 187 grew from 5 to 9 in 1 day"},
      {"never read", "attr_188", {absent, absent}, ""},
      {"not predictive", "attr_199", {0, 50, 100}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(GrowthAfter(c.column, c.readings), c.grown) << c.name;
}

TEST(GrowthWindow, KeepsLittlePerDriveAndForgetsDrivesGoneAWeek) {
  TGrowthWindow window;
  TDriveSample busy, quiet;
  busy.Drive = "busy";
  quiet.Drive = "quiet";
  const size_t attr5 = Column("attr_5");
  THistorySample s;
  for (int i = 0; i < 1000; ++i) {  // every 10 minutes for a week
    s.Time = kStart + i * 600;
    busy.Values[attr5] = i;  // a dying drive: a new value every time
    quiet.Values[attr5] = 7;
    s.Drives = {busy, quiet};
    window.Add(s);
  }
  window.Prune(s.Time);
  EXPECT_LE(window.PointCount("busy"), kGrowthPointsPerDrive);
  EXPECT_LE(window.PointCount("quiet"), 2u);
  ASSERT_EQ(window.GrowthOf("busy").size(), 1u);
  EXPECT_EQ(window.GrowthOf("busy")[0].From, 0);
  EXPECT_EQ(window.GrowthOf("busy")[0].To, 999);

  s.Time += kGrowthWindowSeconds + 1;
  s.Drives = {quiet};
  window.Add(s);
  window.Prune(s.Time);
  EXPECT_EQ(window.DriveCount(), 1u);
  EXPECT_EQ(window.PointCount("busy"), 0u);
}

// The stored week is read on the writer's thread and may arrive after the first cycles
// added their samples: it goes before them (it was dropped as older once, and the demo's
// growth never showed).
TEST(GrowthWindow, TheStoredWeekArrivingLateGoesBeforeTheCyclesSamples) {
  const size_t attr5 = Column("attr_5");
  TGrowthWindow window, stored;
  THistorySample now;
  now.Time = kStart + 6 * kDay;
  TDriveSample drive;
  drive.Drive = "S1";
  drive.Values[attr5] = 90;
  now.Drives = {drive};
  window.Add(now);
  for (int64_t day = 0; day < 6; ++day) {
    TStoredDriveRow row;
    row.Drive = "S1";
    row.Time = kStart + day * kDay;
    row.Values[attr5] = day < 3 ? 24 : 60;
    stored.Add(row);
  }
  window.TakeEarlier(std::move(stored));
  window.Prune(now.Time);
  ASSERT_EQ(window.GrowthOf("S1").size(), 1u);
  EXPECT_EQ(GrowthText(window.GrowthOf("S1")[0]), "attribute 5 grew from 24 to 90 in 6 days");
}

}  // namespace
}  // namespace kv

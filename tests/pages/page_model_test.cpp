// Drive pages rendered from the cycle's one model against the per-drive re-parse, and the
// golden pages of the demo.
//
// How the golden pages in tests/pages/golden/ were checked (before they were trusted): the
// main page was read block by block against examples/demo: every controller, backup unit,
// logical-device, zepCache, enclosure and drive row against the demo listing's pairs and
// against tests/report/golden/demo.ini; the statistics columns against get_logs_cache.txt,
// the traffic and cache boxes against get_logs_stats.txt; the task suffixes against
// get_tasks.txt. The SATA drive page was checked attribute by attribute (id, hex, current,
// worst, raw, name) against get_smartstats.txt and smart_params.txt, its text copy column
// by column (widths, alignment, borders); the SAS page parameter by parameter. The main
// page is made at a fixed time, so its footer stamp is part of the golden.
//
// Regenerating after an intended change: KV_UPDATE_GOLDEN=1 build/<dir>/test_pages
// --gtest_filter='DemoPages.*', then check the diff the same way before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/ini_file.h"
#include "collect/scan_list_manager.h"
#include "history/history_values.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
#include "pages/health_view.h"
#include "pages/history_inputs.h"
#include "pages/history_section.h"
#include "pages/main_page.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/state_report.h"
#include "test_files.h"

namespace kv {
namespace {

using test::ReadFile;
using test::kDemoDir;

const std::string kGoldenDir = std::string(KV_SOURCE_DIR) + "/tests/pages/golden/";
const std::string kRealDir = std::string(KV_FIXTURES_DIR) + "/real/";

struct TSources {
  std::string config, smart, task, stat, cache;
};

TSources Demo() {
  return {ReadFile(kDemoDir + "get_config.txt"), ReadFile(kDemoDir + "get_smartstats.txt"),
          ReadFile(kDemoDir + "get_tasks.txt"), ReadFile(kDemoDir + "get_logs_stats.txt"),
          ReadFile(kDemoDir + "get_logs_cache.txt")};
}

// The model of one collection cycle: all five sources.
void CycleModel(const TSources& s, TKVCore& core) {
  core.SmartNames = test::ShippedSmartNames();
  ParseConfig(s.config, core);
  if (!s.smart.empty()) ParseSmart(s.smart, core);
  if (!s.task.empty()) ParseTasks(s.task, core);
  if (!s.stat.empty()) ParseLogStats(s.stat, core);
  if (!s.cache.empty()) ParseCacheStats(s.cache, core);
  BuildResult(core);
}

std::vector<std::string> KeysOf(const TKVCore& core) {
  TStringList lines;
  WriteStateReport(core, "1.0.0.1", lines);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return DrivePageKeys(TMemIniFile(text));
}

// The per-drive rendering: a fresh model from the configuration, SMART and controller-log
// texts only, parsed whatever the text.
TDrivePage ReparsedPage(const TSources& s, const std::string& key) {
  TKVCore core;
  core.SmartNames = test::ShippedSmartNames();
  ParseConfig(s.config, core);
  ParseSmart(s.smart, core);
  ParseLogStats(s.stat, core);
  BuildResult(core);
  return RenderHddPage(core, key, test::EmbeddedFiles());
}

// Every drive page of the one model equals the per-drive re-parse byte for byte.
void ExpectSamePages(const TSources& s, const std::string& what) {
  TKVCore core;
  CycleModel(s, core);
  const std::vector<std::string> keys = KeysOf(core);
  ASSERT_FALSE(keys.empty()) << what;
  EXPECT_EQ(keys.back(), "-1_-1");
  RenderMainPage(core, "1.0.0.1", test::EmbeddedFiles(), nullptr, 0);  // the cycle renders the main page first on the same model
  for (const std::string& key : keys) {
    const TDrivePage one = RenderHddPage(core, key, test::EmbeddedFiles());
    const TDrivePage again = ReparsedPage(s, key);
    EXPECT_EQ(one.AlternativeKey, again.AlternativeKey) << what << " " << key;
    EXPECT_EQ(one.Body, again.Body) << what << " " << key;
  }
}

TEST(OneModelPages, DemoEqualsPerDriveReparse) {
  ExpectSamePages(Demo(), "demo");
  TSources no_stats = Demo();
  no_stats.stat.clear();
  ExpectSamePages(no_stats, "demo without statistics");
}

TEST(OneModelPages, RealListingsEqualPerDriveReparse) {
  if (!std::filesystem::exists(kRealDir)) GTEST_SKIP() << "no real fixtures";
  std::vector<std::string> tasks{""};
  for (const auto& entry : std::filesystem::directory_iterator(kRealDir + "task"))
    tasks.push_back(ReadFile(entry.path().string()));
  const TSources demo = Demo();
  int listings = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kRealDir + "config")) {
    ++listings;
    for (const std::string& task : tasks) {
      TSources s;
      s.config = ReadFile(entry.path().string());
      s.task = task;  // the tasks go into the cycle's model but never into a drive page
      ExpectSamePages(s, entry.path().filename().string());
    }
    // With the demo's SMART, statistics and cache texts beside a real listing.
    TSources mixed = demo;
    mixed.config = ReadFile(entry.path().string());
    ExpectSamePages(mixed, entry.path().filename().string() + " + demo SMART");
  }
  EXPECT_GT(listings, 0);
}

void CompareWithGolden(const std::string& name, const std::string& text) {
  const std::string path = kGoldenDir + name;
  if (std::getenv("KV_UPDATE_GOLDEN") != nullptr) {
    std::filesystem::create_directories(kGoldenDir);
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  const std::string golden = ReadFile(path);
  ASSERT_FALSE(golden.empty()) << path;
  if (golden == text) return;
  // Report the first differing line for a readable failure.
  std::istringstream a(golden), b(text);
  std::string la, lb;
  for (int line = 1;; ++line) {
    const bool ga = static_cast<bool>(std::getline(a, la));
    const bool gb = static_cast<bool>(std::getline(b, lb));
    if (!ga && !gb) break;
    if (la != lb || ga != gb) {
      ADD_FAILURE() << name << " line " << line << "\n golden: " << la << "\n actual: " << lb;
      return;
    }
  }
  ADD_FAILURE() << name << " differs";
}

TEST(DemoPages, MainPageAndTwoDrivePagesMatchTheGoldens) {
  TKVCore core;
  CycleModel(Demo(), core);
  // As the daemon serves it after its first cycle: the verdict strip, no changes yet.
  THealthView health;
  health.Drives = JudgeDrives(core, DefaultDriveTemperatureMax());
  health.Verdict = JudgeHealth(core, health.Drives, "");
  CompareWithGolden("demo_main.html", RenderMainPage(core, "1.0.0.1", test::EmbeddedFiles(), &health, 1765249800));
  const TMFileList& files = test::EmbeddedFiles();
  CompareWithGolden("demo_hdd_0_0_sata.html", RenderHddPage(core, "0_0", files, SmartSource::kSet, &health.Drives).Body);
  CompareWithGolden("demo_hdd_0_4_sas.html", RenderHddPage(core, "0_4", files, SmartSource::kSet, &health.Drives).Body);
  CompareWithGolden("frame.html", RenderHddPage(core, "-1_-1", test::EmbeddedFiles()).Body);
}

// Drive 0,0 with a History section: two years of hourly temperatures (a daily and a yearly
// swing, each range cut to 300 points), attribute 5 zero for the first 60 of the last 90
// days and growing since, and the grown defect list reported once. Checked by eye in the
// browser at 1280 and 390 px wide: axis labels against the series' extremes and dates.
TEST(DemoPages, DrivePageWithHistoryMatchesItsGolden) {
  TKVCore core;
  CycleModel(Demo(), core);
  constexpr int64_t kNow = 1765249800, kDay = 86400;
  const auto temperature = [](int64_t t) {
    const int64_t hour = t / 3600 % 24, day = t / kDay % 365;
    return 30 + (hour < 12 ? hour : 24 - hour) / 3 + (day < 182 ? day : 365 - day) / 20;
  };
  const auto reallocated = [](int64_t t) { return t < kNow - 30 * kDay ? 0 : (t - (kNow - 30 * kDay)) / (3 * kDay); };
  const std::vector<THistoryChartInput> values = {
      test::SampledInput(static_cast<size_t>(KeptValueIndex("temperature")), kNow - 730 * kDay, kNow, temperature),
      test::SampledInput(static_cast<size_t>(KeptValueIndex("attr_5")), kNow - 90 * kDay, kNow, reallocated),
      test::SampledInput(static_cast<size_t>(KeptValueIndex("grown_defects")), kNow, kNow, [](int64_t) { return 2; }),
  };
  const THistorySections sections = {{DriveHistoryKeys(core, 1)[0], RenderHistorySection(values, kNow + 600, -180)}};
  THddPageRenderer renderer(core, test::EmbeddedFiles());
  renderer.SetHistorySections(&sections);
  CompareWithGolden("demo_hdd_0_0_history.html", renderer.Render("0_0").Body);
}

// The demo with drive 0,0's model and one attribute's name turned into markup: every text
// from the utility reaches the drive page escaped, "&" too, and the text table keeps its
// columns as wide as the raw texts.
TEST(DemoPages, HostileDriveTextsAreEscapedOnItsPage) {
  TSources s = Demo();
  const auto replace_first = [](std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace_first(s.config, "WD1003FBYZ-010FB0", "<script>kv1()</script>");
  replace_first(s.smart, "isDescriptionAvailable=\"false\" >\r\n  <Attribute id=\"0x01\"",
                "isDescriptionAvailable=\"true\" >\r\n  <Attribute id=\"0x01\" name=\"Read & <Error Rate\"");
  TKVCore core;
  CycleModel(s, core);
  const std::string body = RenderHddPage(core, "0_0", test::EmbeddedFiles()).Body;
  EXPECT_EQ(body.find("<script"), std::string::npos);
  EXPECT_EQ(body.find("<Error"), std::string::npos);
  CompareWithGolden("hostile_hdd_0_0_sata.html", body);
}

}  // namespace
}  // namespace kv

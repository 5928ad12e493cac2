// The main page: row shapes, DataRows, and the page rendered from the demo model with
// targeted changes (tasks, backup unit, drives, devices, enclosures, statistics).
#include <gtest/gtest.h>

#include <string>

#include "model/kv_core.h"
#include "pages/controller_bar.h"
#include "pages/health_view.h"
#include "pages/main_page.h"
#include "pages/page_rows.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "test_files.h"

namespace kv {
namespace {

using test::ReadFile;
using test::kDemoDir;

constexpr int64_t kNow = 1765249800;  // 03:10:00 09/12/2025, local

bool Has(const std::string& page, const std::string& text) { return page.find(text) != std::string::npos; }

TEST(PageRows, RowShapes) {
  const std::string open = "<TR><TD class=\"FCI FTC nw\">";
  const std::string cell = ":</TD><TD class=\"FCI FTC nw\" width=\"100%\">";
  EXPECT_EQ(ValueRow("Model", "A<B"), open + "Model" + cell + "A&lt;B</TD></TR>");
  EXPECT_EQ(BoldValueRow("State", "Ok&"), open + "State" + cell + "<b>Ok&</b></TD></TR>");  // entities pass unchanged
  EXPECT_EQ(ValueRow("Model", ""), "");
  EXPECT_EQ(BoldValueRow("State", ""), "");
  EXPECT_EQ(HeaderRow("T"), "<TR><TD class=\"FCI FTC nw\" colspan=\"2\"><b>T</b></TD></TR>");
  EXPECT_EQ(SpacerRow(), "<TR><TD class=\"FCI FTC nw\" colspan=\"2\">&nbsp;</TD></TR>");
  const std::string table = "<TABLE cellSpacing=\"0\" cellPadding=\"0\" width=\"10%\" border=\"0\"><TBODY>";
  EXPECT_EQ(StatisticsColumn(""), table + "&nbsp;</TBODY></TABLE>");
  EXPECT_EQ(StatisticsColumn("r"), table + "r</TBODY></TABLE>");
}

TEST(PageRows, DataRowsSplitsJoinedValues) {
  const auto row = [](const std::string& key, const std::string& text) {
    return "<TR><TD class=\"FCI FTC nw\">" + key + ":</TD><TD class=\"FCI FTC nw\" width=\"100%\">" + text +
           "</TD></TR>\r\n";
  };
  const struct {
    const char* joined;
    std::string rows;
  } cases[] = {
      {"", ""},
      {"Key: value", row("Key", "value")},
      {"  Key  :  v  ||||B: x: y", row("Key", "v") + row("B", "x: y")},
      {" Key : value ", row("Key", "value")},
      {"no separator here", row("no separator here", "no separator here")},
      {"a:b", row("a:b", "a:b")},
      {"A: 1||||", row("A", "1")},
      {"A: 1||||||||B: 2", row("A", "1") + row("", "") + row("B", "2")},
      {"<x>: \"&\"", row("&lt;x&gt;", "&quot;&&quot;")},
      {"\tT: v\t", row("\tT", "v\t")},  // only spaces are trimmed
  };
  for (const auto& c : cases) EXPECT_EQ(DataRows(c.joined), c.rows) << c.joined;
  EXPECT_EQ(DataRows("K: v", "<TR><TD>&nbsp;"), "<TR><TD>&nbsp;K:</TD><TD class=\"FCI FTC nw\" width=\"100%\">v</TD></TR>\r\n");
}

// The demo model, changed by `edit` before the page is rendered.
template <typename Edit>
std::string DemoPage(Edit edit, bool with_cache = true) {
  TKVCore core;
  ParseConfig(ReadFile(kDemoDir + "get_config.txt"), core);
  ParseSmart(ReadFile(kDemoDir + "get_smartstats.txt"), core);
  ParseTasks(ReadFile(kDemoDir + "get_tasks.txt"), core);
  ParseLogStats(ReadFile(kDemoDir + "get_logs_stats.txt"), core);
  if (with_cache) ParseCacheStats(ReadFile(kDemoDir + "get_logs_cache.txt"), core);
  BuildResult(core);
  edit(core);
  return RenderMainPage(core, "7.8.9.10", test::EmbeddedFiles(), nullptr, kNow);
}

TEST(MainPage, DemoPageFrameAndFooter) {
  const std::string page = DemoPage([](TKVCore&) {});
  EXPECT_TRUE(Has(page, "<SPAN style=\"font-size: 10px\">Updated: 03:10:00 09/12/2025<br>version: 7.8.9.10</SPAN>"));
  EXPECT_FALSE(Has(page, "@u@"));
  for (const char* id : {"c_ld_0", "c_ld_1", "c_zepld_0", "c_enc_0"}) EXPECT_TRUE(Has(page, id)) << id;
  EXPECT_TRUE(Has(page, "Uncached IOs")) << "the demo has cache statistics";
  EXPECT_TRUE(Has(page, "[Rebuild, 45%]"));
  EXPECT_TRUE(Has(page, "In Progress: Rebuild, 45%"));
  EXPECT_TRUE(Has(page, "href=\"hdd_0_0\""));
}

TEST(MainPage, TaskPercentAndStatus) {
  const struct {
    const char* status;
    const char* percent;
    const char* suffix;  // empty: no suffix expected
    const char* tasks;
  } cases[] = {
      {"In Progress", "45", "[Rebuild, 45%]", "In Progress: Rebuild, 45%"},
      {"IN PROGRESS", "n/a", "[Rebuild, n/a]", "IN PROGRESS: Rebuild, n/a"},
      {"In Progress", "-1", "[Rebuild, -1]", "In Progress: Rebuild, -1"},
      {"In Progress", "", "[Rebuild, ]", "In Progress: Rebuild, "},
      {"Stopped", "45", "", "Stopped: Rebuild, 45%"},
  };
  for (const auto& c : cases) {
    const std::string page = DemoPage([&](TKVCore& core) {
      ASSERT_GT(core.Tasks.Count(), 0);
      core.Tasks.Item(0).Status = c.status;
      core.Tasks.Item(0).PercentageComplete = c.percent;
    });
    EXPECT_TRUE(Has(page, c.tasks)) << c.status << " " << c.percent;
    if (*c.suffix) {
      EXPECT_TRUE(Has(page, c.suffix)) << c.percent;
    } else {
      EXPECT_FALSE(Has(page, "[Rebuild")) << c.status;
    }
  }
  // A task of no existing device and an escaped operation.
  const std::string page = DemoPage([](TKVCore& core) {
    core.Tasks.Item(0).LogicalDevice = "7";
    TKVTaskItem& other = core.Tasks.Add();
    other.LogicalDevice = "0";
    other.Status = "in progress";
    other.CurrentOperation = "Verify<&>";
    other.PercentageComplete = "3";
  });
  EXPECT_FALSE(Has(page, "Rebuild, 45"));
  EXPECT_TRUE(Has(page, "[Verify&lt;&&gt;, 3%]"));
}

TEST(MainPage, BackupUnitCaption) {
  const struct {
    const char* state;
    const char* temp;
    const char* remain;
    const char* caption;
  } cases[] = {
      {"Optimal", "", "100", "BBU: Optimal, 100%"},
      {"", "", "", "BBU: </"},
      {"A<B", "30 C", "", "BBU: A&lt;B, 30 C<"},
      // The utility's own wording already names the unit: no "98 percent%".
      {"Optimal", "29 deg C", "98 percent", "BBU: Optimal, 29 deg C, 98 percent<"},
  };
  for (const auto& c : cases) {
    const std::string page = DemoPage([&](TKVCore& core) {
      core.Result.Controller.BBUStatus = c.state;
      core.Result.Controller.BBUCurrentTemperature = c.temp;
      core.Result.Controller.BBUCapacityRemaining = c.remain;
    });
    EXPECT_TRUE(Has(page, c.caption)) << c.caption;
  }
}

TEST(MainPage, StatisticsColumnsChooseTheControllerTemplate) {
  // Without cache statistics (or with an empty uncached counter): no statistics columns.
  const std::string column = "<TABLE cellSpacing=\"0\" cellPadding=\"0\" width=\"10%\"";
  EXPECT_TRUE(Has(DemoPage([](TKVCore&) {}), column));
  EXPECT_FALSE(Has(DemoPage([](TKVCore&) {}, false), column));
  EXPECT_FALSE(Has(DemoPage([](TKVCore& core) {
                    for (int i = 0; i < core.StatsCache.Count(); ++i) core.StatsCache.Item(i).UncachedWrites.clear();
                  }),
                  column));
}

TEST(MainPage, DriveWithoutChannelAndDeviceAreas) {
  const std::string page = DemoPage([](TKVCore& core) {
    core.Result.HDDs.Item(0).Channel = "";
    core.Result.HDDs.Item(0).DeviceId = "3";
  });
  EXPECT_TRUE(Has(page, "-,3"));
  EXPECT_TRUE(Has(page, "href=\"hdd_-_3\""));

  // No logical devices: no area at all, the zepCache device included.
  const std::string no_ld = DemoPage([](TKVCore& core) { core.Result.LDs.Clear(); });
  EXPECT_FALSE(Has(no_ld, "c_ld_"));
  EXPECT_FALSE(Has(no_ld, "c_zepld_0"));
  EXPECT_TRUE(Has(no_ld, "href=\"hdd_0_0\"")) << "the drive tables stay";

  // An enclosure without vendor and temperature keeps the ", ".
  std::string id;
  const std::string bare = DemoPage([&](TKVCore& core) {
    core.Result.Enclosures.Item(0).Vendor = "";
    core.Result.Enclosures.Item(0).Temperature = "";
    id = core.Result.Enclosures.Item(0).Id;
  });
  EXPECT_TRUE(Has(bare, "Enclosure #" + id + ", <")) << id;
  EXPECT_FALSE(Has(bare, "Temp: "));

  // A device's name in the drive tables and its traffic were once written as printed.
  const std::string hostile = DemoPage([](TKVCore& core) {
    core.Result.LDs.Item(0).Name = "<b>R&D";
    TKVStatsLDParams traffic;
    for (int i = 0; i < core.Stats.LDStats.Count(); ++i) {
      TKVStatsLDP s = core.Stats.LDStats.Item(i);
      s.BlocksRead = "<i>1";
      traffic.Add(s);
    }
    core.Stats.LDStats = traffic;
  });
  EXPECT_FALSE(Has(hostile, "<b>R&")) << "LD column";
  EXPECT_TRUE(Has(hostile, ">&lt;b&gt;R&amp;D<"));
  EXPECT_FALSE(Has(hostile, "<i>1"));
  EXPECT_TRUE(Has(hostile, ">&lt;i&gt;1 "));
}

size_t Count(const std::string& page, const std::string& text) {
  size_t n = 0;
  for (size_t at = page.find(text); at != std::string::npos; at = page.find(text, at + 1)) ++n;
  return n;
}

TEST(MainPage, MissingMembersAndEnclosuresSharingAnId) {
  const std::string row = "Missing (Controller:1,Enclosure:0,Slot:6) GONE<1>";
  const std::string plain = DemoPage([](TKVCore&) {});
  const std::string page = DemoPage([&](TKVCore& core) {
    core.Result.LDs.Item(1).MissingMembers.push_back(row);
    core.Result.Enclosures.Add().Id = core.Result.Enclosures.Item(0).Id;  // no drive of its own
  });
  // One row more, in the device's table: state "Missing", the row as printed, no link.
  EXPECT_TRUE(Has(page, "<td class=\"FCI FTC nw st\">Missing</td>"));
  EXPECT_TRUE(Has(page, "<td class=\"FCI FTC nw\">Missing (Controller:1,Enclosure:0,Slot:6) GONE&lt;1&gt;</td>"));
  EXPECT_EQ(Count(page, "<tr><td"), Count(plain, "<tr><td") + 1);
  EXPECT_EQ(Count(page, "href=\"hdd_"), Count(plain, "href=\"hdd_"));
  EXPECT_EQ(Count(page, "href=\"hdd_0_0\""), 2u) << "member table and its own enclosure, once each";
}

TEST(MainPage, HealthStripTitleStaleWarningAndRecentChanges) {
  TKVCore core;
  ParseConfig(ReadFile(kDemoDir + "get_config.txt"), core);
  BuildResult(core);
  THealthView health;
  health.Verdict.Level = THealth::Critical;
  health.Verdict.Reasons.push_back({THealth::Critical, "Drive 0,7 <x>", "hdd_0_7", "Failed & gone"});
  health.Verdict.Reasons.push_back({THealth::Warning, "Odd", "\"><script>", "x"});
  health.Drives.resize(static_cast<size_t>(core.Result.HDDs.Count()));
  health.Drives[7].Grade = TSmartGrade::Bad;
  health.Drives[7].Reasons = {"temperature \"61\" <C>"};
  health.Drives[0].Grade = TSmartGrade::Caution;  // a member of Data
  health.CollectedAt = 1765249800;
  health.StaleWarning = "The config source timed out at <then>.";
  health.Recent = {{1765249000, TSeverity::Warning, "change-one"}, {1765249800, TSeverity::Critical, "second <b>"}};
  const std::string page = RenderMainPage(core, "1", test::EmbeddedFiles(), &health, kNow);
  EXPECT_TRUE(Has(page, "<title>Critical: Korvane Monitor</title>"));
  EXPECT_TRUE(Has(page, "class=\"verdict verdict-bad\" id=\"health\"><b>Critical</b>"));
  EXPECT_TRUE(Has(page, "data collected 03:10:00 09/12/2025")) << "the footer's time format";
  EXPECT_TRUE(Has(page, "<li>Critical: <a href=\"hdd_0_7\">Drive 0,7 &lt;x&gt;</a>: Failed & gone</li>"));
  EXPECT_TRUE(Has(page, "<a href=\"&quot;&gt;&lt;script&gt;\">")) << "a link cannot leave its attribute";
  EXPECT_TRUE(Has(page, "<b>Stale data.</b> The config source timed out at &lt;then&gt;."));
  EXPECT_LT(page.find("id=\"stale\""), page.find("id=\"health\"")) << "the stale warning above the verdict";
  EXPECT_TRUE(Has(page, "Failed <span class=\"smart-bad\" title=\"temperature &quot;61&quot; &lt;C&gt;\">(SMART Bad)</span>"));
  EXPECT_EQ(Count(page, "(SMART Caution)"), 2u) << "the member table and the drive table";
  EXPECT_TRUE(Has(page, "<td class=\"FCI FTC nw\">03:10:00 09/12/2025</td><td class=\"FCI FTC nw\">critical</td>"));
  EXPECT_LT(page.find("second &lt;b&gt;"), page.find("change-one")) << "newest first";
  EXPECT_LT(page.find("id=\"health\""), page.find("id=\"controller\""));
  EXPECT_LT(page.find("id=\"changes\""), page.find("Updated: ")) << "changes close the page, before the footer";

  health.Verdict = THealthVerdict{};
  health.Recent.clear();
  const std::string ok = RenderMainPage(core, "1", test::EmbeddedFiles(), &health, kNow);
  EXPECT_TRUE(Has(ok, "<title>Korvane Monitor</title>"));
  EXPECT_TRUE(Has(ok, "class=\"verdict verdict-ok\" id=\"health\"><b>OK</b>"));
  EXPECT_TRUE(Has(ok, "No changes since the start."));
  const std::string plain = RenderMainPage(core, "1", test::EmbeddedFiles(), nullptr, kNow);
  EXPECT_FALSE(Has(plain, "id=\"health\"") || Has(plain, "id=\"changes\"") || Has(plain, "(SMART"))
      << "without findings: the page as before";
}

// The bar the collection puts in at ControllerBarOffset: ahead of the strip, behind the
// header; with one controller there is none and the page is as it was.
TEST(MainPage, ControllerBarAndWhereItGoes) {
  const TControllerLink links[] = {
      {1, THealth::Critical, "KVR<7805>"}, {2, THealth::OK, "KVR7805Z"}, {3, THealth::Warning, ""}};
  EXPECT_EQ(RenderControllerBar(std::span(links, 1), 1), "");
  EXPECT_EQ(RenderControllerBar({}, 1), "");
  const std::string bar = RenderControllerBar(links, 2);
  EXPECT_TRUE(Has(bar, "<a class=\"verdict verdict-bad\" href=\"/c1/\""));
  EXPECT_TRUE(Has(bar, "<a class=\"verdict verdict-ok\" href=\"/c2/\" aria-current=\"page\""));
  EXPECT_TRUE(Has(bar, "<a class=\"verdict verdict-warn\" href=\"/c3/\""));
  EXPECT_EQ(Count(bar, "aria-current"), 1u);
  // Without its tags the bar still says everything the colours do.
  std::string text;
  for (size_t i = 0; i < bar.size(); ++i)
    if (bar[i] == '<') i = bar.find('>', i);
    else text += bar[i];
  EXPECT_EQ(text, "Controller 1 KVR&lt;7805&gt;: Critical\r\nController 2 KVR7805Z: OK (this page)\r\n"
                  "Controller 3: Warning\r\n\r\n");

  TKVCore core;
  ParseConfig(ReadFile(kDemoDir + "get_config.txt"), core);
  BuildResult(core);
  THealthView health;
  const std::string page = RenderMainPage(core, "1", test::EmbeddedFiles(), &health, kNow);
  const size_t at = ControllerBarOffset(page);
  EXPECT_EQ(page.compare(at, 20, "<div class=\"verdict "), 0) << page.substr(at, 40);
  health.StaleWarning = "stale";
  const std::string stale = RenderMainPage(core, "1", test::EmbeddedFiles(), &health, kNow);
  EXPECT_EQ(stale.compare(ControllerBarOffset(stale), 18, "<div class=\"stale\""), 0);
  const std::string plain = RenderMainPage(core, "1", test::EmbeddedFiles(), nullptr, kNow);
  EXPECT_EQ(ControllerBarOffset(plain), at) << "the header ends at the same place";
  EXPECT_LT(plain.find("<body>"), at);
}

TEST(MainPage, EmptyModelStillGivesAPage) {
  TKVCore core;
  BuildResult(core);
  const std::string page = RenderMainPage(core, "1", test::EmbeddedFiles(), nullptr, kNow);
  EXPECT_TRUE(Has(page, "version: 1</SPAN>"));
  EXPECT_FALSE(Has(page, "c_ld_"));
  EXPECT_FALSE(Has(page, "href=\"hdd_"));
}

}  // namespace
}  // namespace kv

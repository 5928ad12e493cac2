// Drive pages: look-up by key or serial number, membership rows, error counters, the SATA
// and SAS tables with their text copy, and the History section with its charts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_case.h"
#include "history/history_values.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
#include "pages/history_inputs.h"
#include "pages/history_section.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "test_files.h"

namespace kv {
namespace {

using test::ReadFile;
using test::kDemoDir;

bool Has(const std::string& page, const std::string& text) { return page.find(text) != std::string::npos; }
// A text copy line as the page writes it: each pair of blanks " &nbsp;".
std::string ReplaceBlanks(std::string line) {
  for (size_t at = line.find("  "); at != std::string::npos; at = line.find("  ", at + 7)) line.replace(at, 2, " &nbsp;");
  return line;
}
size_t CountOf(const std::string& page, const std::string& text) {
  size_t n = 0;
  for (size_t p = page.find(text); p != std::string::npos; p = page.find(text, p + 1)) ++n;
  return n;
}

class DrivePage : public ::testing::Test {
 protected:
  void SetUp() override {
    core_.SmartNames = test::ShippedSmartNames();
    ParseConfig(ReadFile(kDemoDir + "get_config.txt"), core_);
    ParseSmart(ReadFile(kDemoDir + "get_smartstats.txt"), core_);
    ParseLogStats(ReadFile(kDemoDir + "get_logs_stats.txt"), core_);
    BuildResult(core_);
  }
  TKVCore core_;
};

TEST_F(DrivePage, KeyOrSerialInAnyCaseSelectsTheSameDrive) {
  const TResultHDD& hdd = core_.Result.HDDs.Item(1);
  const std::string key = hdd.Channel + "_" + hdd.DeviceId;
  ASSERT_FALSE(hdd.SerialNumber.empty());
  const TDrivePage by_key = RenderHddPage(core_, key, test::EmbeddedFiles());
  EXPECT_EQ(by_key.AlternativeKey, LowerCaseAscii(hdd.SerialNumber));
  EXPECT_TRUE(Has(by_key.Body, "Serial number:"));
  for (const std::string& name : {UpperCaseAscii(hdd.SerialNumber), LowerCaseAscii(hdd.SerialNumber)}) {
    const TDrivePage by_serial = RenderHddPage(core_, name, test::EmbeddedFiles());
    EXPECT_EQ(by_serial.Body, by_key.Body) << name;
    EXPECT_EQ(by_serial.AlternativeKey, by_key.AlternativeKey);
  }
}

TEST_F(DrivePage, UnknownKeyGivesTheEmptyFrame) {
  for (const char* key : {"-1_-1", "", "9_9", "0_"}) {
    const TDrivePage page = RenderHddPage(core_, key, test::EmbeddedFiles());
    EXPECT_EQ(page.AlternativeKey, "") << key;
    EXPECT_FALSE(Has(page.Body, "<TR>")) << key;
    EXPECT_FALSE(Has(page.Body, "@")) << "placeholders filled: " << key;
  }
  EXPECT_EQ(RenderHddPage(core_, "-1_-1", test::EmbeddedFiles()).Body,
            RenderHddPage(core_, "9_9", test::EmbeddedFiles()).Body);
}

// Controller 1's pages link back to "/" as they always did; another controller's to its own
// main page, the frame too.
TEST_F(DrivePage, BackLinkLeadsToItsControllersMainPage) {
  const TMFileList& files = test::EmbeddedFiles();
  for (const char* key : {"0_0", "-1_-1"}) {
    const std::string first = RenderHddPage(core_, key, files, SmartSource::kSet, nullptr, 1).Body;
    EXPECT_EQ(first, RenderHddPage(core_, key, files).Body) << key;
    EXPECT_TRUE(Has(first, "<a href=\"/\">&larr; Controller overview</a>")) << key;
    THddPageRenderer third(core_, files, SmartSource::kSet, nullptr, 3);
    const std::string body = third.Render(key).Body;
    EXPECT_TRUE(Has(body, "<a href=\"/c3/\">&larr; Controller overview</a>")) << key;
    EXPECT_FALSE(Has(body, "href=\"/\"")) << key;
  }
}

TEST_F(DrivePage, MembershipRows) {
  const std::string member = "<TR><TD class=\"FCI FTC nw\">Member:</TD>";
  const std::string further = "<TR><TD class=\"FCI FTC nw\">&nbsp;</TD><TD class=\"FCI FTC nw\" width=\"100%\"><b>";
  ASSERT_GE(core_.Result.LDs.Count(), 2);
  // Drive 0 also in the second logical device, and a zepCache device holding it too.
  TResultLD& second = core_.Result.LDs.Item(1);
  second.Members.Add(0, 0);
  second.Name = "N<1>";
  const TDrivePage page = RenderHddPage(core_, "0_0", test::EmbeddedFiles());
  EXPECT_EQ(CountOf(page.Body, member), 1u);
  EXPECT_EQ(CountOf(page.Body, further), 1u);
  EXPECT_TRUE(Has(page.Body, further + "N&lt;1&gt;</b> (RAID " + second.RaidLevel + ", <b>" + second.Status + "</b>, "));

  // Only when no logical device holds the drive does a zepCache device give its row.
  for (TResultLD& ld : core_.Result.LDs) ld.Members = TIntList();
  ASSERT_GE(core_.Result.ZepLDs.Count(), 1);
  core_.Result.ZepLDs.Item(0).Members.Add(0, 0);
  const TDrivePage zep = RenderHddPage(core_, "0_0", test::EmbeddedFiles());
  EXPECT_EQ(CountOf(zep.Body, member), 1u);
  EXPECT_TRUE(Has(zep.Body, member + "<TD class=\"FCI FTC nw\" width=\"100%\"><b>" + core_.Result.ZepLDs.Item(0).DeviceName));
}

TEST_F(DrivePage, SataTableWithTextCopyAndNoSasParameters) {
  const TDrivePage page = RenderHddPage(core_, "0_0", test::EmbeddedFiles());
  EXPECT_TRUE(Has(page.Body, "S.M.A.R.T."));
  EXPECT_TRUE(Has(page.Body, " &nbsp;<br>|-"));
  EXPECT_TRUE(Has(page.Body, "-|<br>\r\n &nbsp;")) << "closing border, then the trailing blank";
  EXPECT_TRUE(Has(page.Body, "Name &nbsp;")) << "header centred in the text copy";
  // With a verdict: it opens the page, the causing attribute's row is marked, the text copy
  // does not change.
  std::vector<TSmartVerdict> verdicts(static_cast<size_t>(core_.Result.HDDs.Count()));
  verdicts[0] = {TSmartGrade::Caution, {"state <i>odd</i>"}, {188}};
  const std::string judged = RenderHddPage(core_, "0_0", test::EmbeddedFiles(), SmartSource::kSet, &verdicts).Body;
  EXPECT_TRUE(Has(judged, "<b class=\"smart-caution\">Caution</b>: state &lt;i&gt;odd&lt;/i&gt;"));
  EXPECT_LT(judged.find("SMART verdict:"), judged.find("Model:"));
  EXPECT_EQ(CountOf(judged, "<tr class=\"caution\">"), 1u);
  EXPECT_TRUE(Has(judged, "<tr class=\"caution\"><td class=\"FCI FTC nw num\">17</td><td class=\"FCI FTC nw num\">188</td>"));
  const auto text_copy = [](const std::string& body) { return body.substr(body.find("id=\"c_2\"")); };
  EXPECT_EQ(text_copy(judged), text_copy(page.Body));
  // Give the drive SAS parameters too: they are never shown.
  auto& sas = core_.SASSmartParams.FindOrAdd("0", "0");
  sas.Params->Add("Only SAS", "1");
  EXPECT_FALSE(Has(RenderHddPage(core_, "0_0", test::EmbeddedFiles()).Body, "Only SAS"));
}

TEST_F(DrivePage, SasTableForASasDrive) {
  const TDrivePage page = RenderHddPage(core_, "0_4", test::EmbeddedFiles());
  EXPECT_TRUE(Has(page.Body, "Current Drive Temperature"));
  EXPECT_TRUE(Has(page.Body, "Elements in Grown Defect List"));
  EXPECT_TRUE(Has(page.Body, "S.M.A.R.T."));
  // Odd runs of blanks, a line break and an "@" in a value: the text copy pairs blanks from
  // the start of each run, and the "@" takes the pair-by-pair route through every template.
  core_.SASSmartParams.FindOrAdd("0", "4").Params->Add("Odd  name", "a   b\r\nc@d");
  const std::string odd = RenderHddPage(core_, "0_4", test::EmbeddedFiles()).Body;
  EXPECT_TRUE(Has(odd, "| Odd &nbsp;name"));
  EXPECT_TRUE(Has(odd, "a &nbsp; b<br>\r\nc@d |<br>\r\n"));
  EXPECT_TRUE(Has(odd, "<td class=\"FCI FTC nw num\">a   b\r\nc@d</td></tr>"));
  EXPECT_TRUE(Has(odd, "Elements in Grown Defect List"));
}

// Without SMART text drive pages were once left empty. They show the drive, its state and
// error counters, and one line in the table's place that says why there is none.
TEST_F(DrivePage, DriveWithoutSmartDataSaysWhy) {
  TKVCore plain;
  ParseConfig(ReadFile(kDemoDir + "get_config.txt"), plain);
  ParseLogStats(ReadFile(kDemoDir + "get_logs_stats.txt"), plain);
  BuildResult(plain);
  const struct {
    SmartSource smart;
    const char* line;
  } cases[] = {{SmartSource::kNotSet, kNoSmartSourceLine}, {SmartSource::kSet, kNoSmartForDriveLine}};
  for (const auto& c : cases) {
    const std::string body = RenderHddPage(plain, "0_0", test::EmbeddedFiles(), c.smart).Body;
    EXPECT_EQ(CountOf(body, c.line), 1u) << c.line;
    EXPECT_TRUE(Has(body, "Serial number:"));
    EXPECT_TRUE(Has(body, "State:"));
    EXPECT_TRUE(Has(body, "Member:"));
    EXPECT_TRUE(Has(body, "Hardware errors:"));
    EXPECT_FALSE(Has(body, "S.M.A.R.T."));
    EXPECT_FALSE(Has(RenderHddPage(plain, "-1_-1", test::EmbeddedFiles(), c.smart).Body, c.line))
        << "the frame names no drive";
  }
  // A drive with a table never shows either line.
  EXPECT_FALSE(Has(RenderHddPage(core_, "0_0", test::EmbeddedFiles(), SmartSource::kSet).Body, kNoSmartForDriveLine));
}

TEST_F(DrivePage, UnknownAttributeInItalicsOnlyInTheHtmlTable) {
  auto& sata = core_.SATASmartParams.FindOrAdd("0", "0");
  sata.Params->Add("15", "1", "2", "3");  // 21: not in the shipped names
  const std::string body = RenderHddPage(core_, "0_0", test::EmbeddedFiles()).Body;
  EXPECT_TRUE(Has(body, "<i>Unknown attribute</i>"));
  EXPECT_TRUE(Has(body, "| &nbsp;21 | &nbsp;15 | Unknown attribute")) << "plain and upper-cased in the text copy";
}

constexpr int64_t kNow = 1765249800;  // 2025-12-09 03:10 UTC
constexpr int64_t kDay = 86400;

size_t ValueOf(const char* column) { return static_cast<size_t>(KeptValueIndex(column)); }

THistoryChartInput Input(const char* column, std::vector<TSeriesPoint> week, std::vector<TSeriesPoint> quarter,
                         std::vector<TSeriesPoint> whole) {
  THistoryChartInput input;
  input.ValueIndex = ValueOf(column);
  input.Ranges = {std::move(week), std::move(quarter), std::move(whole)};
  return input;
}

// What is drawn: every value shown gets its heading and one chart per range it is shown in.
TEST(HistorySection, ChartsOnlyWhereThereIsSomethingToShow) {
  const std::vector<TSeriesPoint> one = {{kNow - 600, 36}};
  const std::vector<TSeriesPoint> zeros = {{kNow - 3 * kDay, 0}, {kNow, 0}};
  const std::vector<TSeriesPoint> grew = {{kNow - 200 * kDay, 0}, {kNow - 100 * kDay, 4}, {kNow, 0}};
  const struct {
    const char* what;
    std::vector<THistoryChartInput> values;
    size_t charts, lines;  // <svg>, <polyline>
    std::vector<std::string> shown;
  } cases[] = {
      {"one sample still draws its point in every range", {Input("temperature", one, one, one)}, 3, 0,
       {"<b>temperature</b>: last -, 24 h -, 30 days -", "temperature, 7 days: 36, 2025-12-02 to 2025-12-09, 1 sample",
        "<circle cx=\"294\" cy=\"52\""}},
      {"a counter's all-zero and empty ranges are left out",
       {Input("attr_5", zeros, {}, grew)}, 1, 1, {"attribute 5, whole history: 0 to 4, 2025-05-23 to 2025-12-09"}},
      {"temperature is drawn even when zero or missing", {Input("temperature", {}, zeros, zeros)}, 3, 2,
       {"temperature, 7 days: no samples", ">no samples</text>"}},
      {"a counter zero everywhere, or a value the table does not know: no section",
       {Input("attr_5", zeros, zeros, zeros), [&] {
          THistoryChartInput unknown = Input("temperature", one, one, one);
          unknown.ValueIndex = kKeptDriveValueCount;
          return unknown;
        }()},
       0, 0, {}},
  };
  for (const auto& c : cases) {
    const std::string section = RenderHistorySection(c.values, kNow, 0);
    EXPECT_EQ(CountOf(section, "<svg "), c.charts) << c.what;
    EXPECT_EQ(CountOf(section, "<polyline "), c.lines) << c.what;
    if (c.charts == 0) EXPECT_EQ(section, "") << c.what;
    for (const std::string& text : c.shown) EXPECT_TRUE(Has(section, text)) << c.what << ": " << text;
  }
}

TEST(HistorySection, LastValueAndItsChangesBesideTheCharts) {
  const std::optional<int64_t> none;
  const struct {
    std::optional<int64_t> last, day, month;
    const char* heading;
    const char* text_row;  // in the text copy
  } cases[] = {
      {36, 35, 38, "last 36, 24 h +1, 30 days -2", "| temperature |   36 |   +1 |      -2 |"},
      {16, 16, none, "last 16, 24 h 0, 30 days -", "| temperature |   16 |    0 |       - |"},
      {none, 5, 5, "last -, 24 h -, 30 days -", "| temperature |    - |    - |       - |"},
      {INT64_MAX, INT64_MIN, -1, "last 9223372036854775807, 24 h +18446744073709551615, 30 days +9223372036854775808",
       "| temperature | 9223372036854775807 | +18446744073709551615 | +9223372036854775808 |"},
      {INT64_MIN, INT64_MAX, 0, "last -9223372036854775808, 24 h -18446744073709551615, 30 days -9223372036854775808",
       nullptr},
  };
  for (const auto& c : cases) {
    THistoryChartInput input = Input("temperature", {{kNow, 1}}, {{kNow, 1}}, {{kNow, 1}});
    input.Last = c.last;
    input.Ago24h = c.day;
    input.Ago30d = c.month;
    const std::string section = RenderHistorySection({input}, kNow, 0);
    EXPECT_TRUE(Has(section, std::string("<b>temperature</b>: ") + c.heading)) << c.heading;
    if (c.text_row != nullptr) EXPECT_TRUE(Has(section, ReplaceBlanks(c.text_row))) << c.text_row;
  }
}

// The axis dates are local: 23:10 UTC is already the next day three hours east of it.
// Values and times a damaged file might hold still give a chart inside its box.
TEST(HistorySection, LocalDatesAndHostileNumbers) {
  const int64_t late = kNow + 20 * 3600;
  const std::vector<TSeriesPoint> week = {{late - 2 * kDay, 30}, {late, 31}};
  const THistoryChartInput input = Input("temperature", week, week, week);
  EXPECT_TRUE(Has(RenderHistorySection({input}, late, 0), "2025-12-07 to 2025-12-09"));
  EXPECT_TRUE(Has(RenderHistorySection({input}, late, -180), "2025-12-08 to 2025-12-10"));

  const std::vector<TSeriesPoint> hostile = {
      {INT64_MIN, INT64_MAX}, {0, INT64_MIN}, {kNow, 0}, {INT64_MAX, -1}, {kNow - kDay, INT64_MAX}};
  const std::string section =
      RenderHistorySection({Input("temperature", hostile, hostile, hostile), Input("attr_5", hostile, {}, hostile)},
                           kNow, 100000);
  EXPECT_EQ(CountOf(section, "<svg "), 5u);
  for (const char* bad : {"nan", "inf", "@"}) EXPECT_FALSE(Has(section, bad)) << bad;
  for (size_t at = section.find("points=\""); at != std::string::npos; at = section.find("points=\"", at + 1)) {
    const std::string points = section.substr(at + 8, section.find('"', at + 8) - at - 8);
    EXPECT_EQ(points.find_first_not_of("0123456789., "), std::string::npos) << points;
  }
}

// Without sections, or without this drive's, the page is exactly as before; with it, the
// section follows the SMART table.
TEST_F(DrivePage, HistorySectionAfterTheSmartTable) {
  const TMFileList& files = test::EmbeddedFiles();
  const std::vector<std::string> keys = DriveHistoryKeys(core_, 1);
  const std::string plain = RenderHddPage(core_, "0_0", files).Body;
  const THistorySections others = {{keys[1], "<TR><TD>other</TD></TR>"}, {"0_0", "<TR><TD>by place</TD></TR>"}};
  const THistorySections mine = {{keys[0], "<TR><TD>mine</TD></TR>"}};
  THddPageRenderer renderer(core_, files);
  for (const THistorySections* sections : {static_cast<const THistorySections*>(nullptr), &others}) {
    renderer.SetHistorySections(sections);
    EXPECT_EQ(renderer.Render("0_0").Body, plain);
  }
  renderer.SetHistorySections(&mine);
  const std::string body = renderer.Render("0_0").Body;
  EXPECT_EQ(CountOf(body, "mine"), 1u);
  EXPECT_LT(body.find("S.M.A.R.T."), body.find("mine"));
  EXPECT_FALSE(Has(renderer.Render("0_1").Body, "mine"));
  EXPECT_FALSE(Has(renderer.Render("-1_-1").Body, "mine"));
}

}  // namespace
}  // namespace kv

// Drive pages: look-up by key or serial number, membership rows, error counters, the SATA
// and SAS tables with their text copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_case.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
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

}  // namespace
}  // namespace kv

// The demo's SMART and statistics outputs, parsed with its configuration listing, reach the
// state report: per-drive SMART sections of both kinds, the attribute names, the cache
// statistics and the traffic of the logical devices.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/ini_file.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "report/state_report.h"

namespace kv {
namespace {

std::string ReadDemo(const std::string& name) {
  std::ifstream in(KV_SOURCE_DIR "/examples/demo/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SmartReport, DemoOutputsReachTheStateReport) {
  TKVCore core;
  {
    std::ifstream in(KV_SOURCE_DIR "/resources/smart_params.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    core.SmartNames = std::make_shared<const TKVSmartNamesList>(s.str());
  }
  ParseConfig(ReadDemo("get_config.txt"), core);
  ParseSmart(ReadDemo("get_smartstats.txt"), core);
  ParseLogStats(ReadDemo("get_logs_stats.txt"), core);
  ParseCacheStats(ReadDemo("get_logs_cache.txt"), core);
  BuildResult(core);
  TStringList lines;
  WriteStateReport(core, "1.0.0.1", lines);
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  const TMemIniFile ini(text);

  // Every drive the SMART output names is matched by channel and id.
  int sata = 0, sas = 0;
  for (int n = 0; n < ini.ReadInteger("hdd_smart", "count", 0); ++n) {
    const std::string section = "hdd_smart_" + std::to_string(n);
    if (!ini.SectionExists(section)) continue;
    (ini.ReadInteger(section, "smart_sata", -1) == 1 ? sata : sas) += 1;
    EXPECT_EQ(ini.ReadString(section, "channel", ""), ini.ReadString("hdd_" + std::to_string(n), "channel", "x"));
  }
  EXPECT_EQ(sata, 6);
  EXPECT_EQ(sas, 3);
  EXPECT_EQ(ini.ReadString("hdd_smart_0_0", "hex", ""), "01");
  EXPECT_NE(text.find("smart_sata=1"), std::string::npos);
  EXPECT_NE(text.find("smart_sata=0"), std::string::npos);
  EXPECT_EQ(ini.ReadString("hdd_smart_4_0", "name", ""), "Current Drive Temperature");
  EXPECT_EQ(ini.ReadString("hdd_0", "temperature", ""), "38 C");
  EXPECT_EQ(ini.ReadString("hdd_6", "smart_state", ""), "failure");

  // Names come from the table for the hard disks and from the drives for the SSDs.
  ASSERT_TRUE(ini.SectionExists("hdd_smart_desc"));
  std::string names;
  for (int k = 0; k < ini.ReadInteger("hdd_smart_desc", "count", 0); ++k)
    names += ini.ReadString("hdd_smart_desc_" + std::to_string(k), "name", "") + "|";
  EXPECT_NE(names.find("|HDA temperature|"), std::string::npos) << names;
  EXPECT_NE(names.find("|Media Wearout Indicator|"), std::string::npos) << names;

  ASSERT_TRUE(ini.SectionExists("stats_all"));
  EXPECT_EQ(ini.ReadString("stats_all", "ssd_use", ""), "1");
  EXPECT_EQ(ini.ReadString("stats_all", "ssdCachePages", ""), "131072");
  EXPECT_EQ(ini.ReadString("stats_all", "scince_stats", ""), "604800");

  EXPECT_EQ(ini.ReadString("ld_0", "stat_read_value", ""), "1843");
  EXPECT_EQ(ini.ReadString("ld_0", "stat_read_unit", ""), "GB");
  EXPECT_EQ(ini.ReadString("ld_0", "stat_read_mb", ""), "1887232");
  EXPECT_EQ(ini.ReadString("ld_1", "stat_write_mb", ""), "51200");
}

}  // namespace
}  // namespace kv

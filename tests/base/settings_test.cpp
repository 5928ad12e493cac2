// The settings table: values, defaults, bounds and refusals, and the README's table.
#include "base/settings.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "test_files.h"

namespace kv {
namespace {

std::string Refusals(const TSettings& settings) {
  std::string out;
  for (const TRefusedSetting& r : settings.refused) out += RefusalLogText(r) + "|";
  return out;
}

TEST(Settings, KeysTakeTheirValuesTheirDefaultsOrTheirBounds) {
  struct Row {
    const char* text;
    int64_t port;
    bool use_http;
    int64_t timeout;
    const char* refused = "";
    bool logging = false;
  } rows[] = {
      {"", 31313, true, 600},
      {"[http]\nport=0x7A51\n", 31313, true, 600},
      // Unreadable: the default, and a line says so (the service was once silent).
      {"[http]\nport=abc\nuse=\n[scaner]\ntimeout=\n", 31313, true, 600,
       "[http] port=abc is not a number, using 31313|[http] use= is not a number, using 1|"
       "[scaner] timeout= is not a number, using 600|"},
      {"[http]\nport=$50\nuse=0\n[scaner]\ntimeout=30\n", 80, false, 30},
      // A period below one second once collected every second without a word.
      {"[HTTP]\nPORT=8080\nUse=2\n[Scaner]\nTimeOut=-1\n", 8080, true, 1, "[scaner] timeout=-1 is below 1, using 1|"},
      {"[http]\nport=99999999999999999999\n", 31313, true, 600,  // past 64 bits: not a number
       "[http] port=99999999999999999999 is not a number, using 31313|"},
      {"port=1\n[http]\nport=2\n[http]\nuse=0\n", 31313, false, 600},   // last section only
      {"[http]\r\n; port=1\r\n  port = 81 \r\nport=82\r\n", 82, true, 600},
      // Ports outside 1..65535 once wrapped when bound (70000 listened on 4464).
      {"[http]\nport=70000\n", 31313, true, 600, "[http] port=70000 is outside 1..65535, using 31313|"},
      {"[http]\nport=0\n", 31313, true, 600, "[http] port=0 is outside 1..65535, using 31313|"},
      {"[http]\nport=0x10000\n", 31313, true, 600, "[http] port=0x10000 is outside 1..65535, using 31313|"},
      {"[http]\nport=65535\n[scaner]\nlog=1\n", 65535, true, 600, "", true},
      {"[notify]\nmin_severity=ur\x01gent\n", 31313, true, 600,
       "[notify] min_severity=ur gent is not information, warning or critical: warning is used|"},
  };
  for (const Row& row : rows) {
    const TSettings s = ReadSettings(TMemIniFile(row.text));
    EXPECT_EQ(s.port, row.port) << row.text;
    EXPECT_EQ(s.use_http, row.use_http) << row.text;
    EXPECT_EQ(s.timeout, row.timeout) << row.text;
    EXPECT_EQ(s.logging, row.logging) << row.text;
    EXPECT_EQ(Refusals(s), row.refused) << row.text;
  }

  // Below the bound takes the default (0 is the documented way to ask for it), above
  // takes the bound.
  const TSettings s = ReadSettings(TMemIniFile(
      "[http]\nmax_connections=0\nmax_per_client=99999999999\n[scaner]\nsource_timeout=-5\n"
      "[health]\ndrive_temperature_max=-99999\n[notify]\ntimeout=99999999\nmin_severity=CRITICAL\n"
      "command=" + std::string(260, 'x') + "\n"));
  EXPECT_EQ(s.max_connections, 256);
  EXPECT_EQ(s.max_per_client, INT32_MAX);
  EXPECT_EQ(s.source_timeout, 300);
  EXPECT_EQ(s.drive_temperature_max, -1000);
  EXPECT_EQ(s.notify_timeout, 7 * 86400);
  EXPECT_EQ(s.notify_min_severity, "critical");
  EXPECT_EQ(Refusals(s), "[notify] command is longer than 259 characters: it is never run|");
  EXPECT_EQ(s.notify_command.size(), 260u);
}

// [source_N] sections are controllers 2 to 8, each key read as written; the placeholder is
// filled in wherever it stands.
TEST(Settings, NumberedSourceSectionsAndThePlaceholder) {
  const TSettings s = ReadSettings(TMemIniFile(
      "[source]\nconfig=get {controller}.txt\n[source_3]\nsmart=s3\n[source_8]\nconfig=c8\n[source_9]\nconfig=x\n"));
  EXPECT_EQ(ConfiguredSources(s, 1).config, "get {controller}.txt");
  EXPECT_FALSE(s.numbered_sources[2].has_value());
  ASSERT_TRUE(s.numbered_sources[3].has_value());
  EXPECT_EQ(s.numbered_sources[3]->config, "");
  EXPECT_EQ(ConfiguredSources(s, 3).smart, "s3");
  EXPECT_EQ(ConfiguredSources(s, 8).config, "c8");
  EXPECT_EQ(ConfiguredSources(s, 9).config, "");
  EXPECT_EQ(ControllerSource("u {controller} -x {controller}", 12), "u 12 -x 12");
  EXPECT_EQ(ControllerSource("{controller", 2), "{controller");
}

// The README's settings table lists the same sections, keys and defaults, in order.
TEST(Settings, TheReadmeTableListsEveryKeyWithItsDefault) {
  const std::string readme = test::ReadFile(std::string(KV_SOURCE_DIR) + "/README.md");
  ASSERT_FALSE(readme.empty());
  const std::regex row_pattern(R"(\n\| `(\w+)` \| `(\w+)` \| ([^|]*?) \|)");
  std::vector<std::string> documented, expected;
  for (auto it = std::sregex_iterator(readme.begin(), readme.end(), row_pattern); it != std::sregex_iterator(); ++it)
    documented.push_back((*it)[1].str() + "/" + (*it)[2].str() + "=" + (*it)[3].str());
  for (const TSettingRow& row : SettingRows())
    expected.push_back(std::string(row.section) + "/" + row.key + "=" + (*row.default_value ? row.default_value : "empty"));
  EXPECT_EQ(documented, expected);
}

}  // namespace
}  // namespace kv

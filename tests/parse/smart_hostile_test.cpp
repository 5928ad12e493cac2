// Hostile SMART and statistics texts: deep nesting, unclosed tags, floods of attribute tags.
// Each must be read in bounded time without crashing; nested elements used to make every
// outer element re-read everything inside it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "model/kv_core.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"

namespace kv {
namespace {

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(SmartHostile, NestingAndFloodsFinishQuickly) {
  const std::string drive =
      "<PhysicalDriveSmartStats channel=\"0\" id=\"1\" >"
      "<Attribute id=\"0xC2\" normalizedCurrent=\"1\" normalizedWorst=\"1\" rawValue=\"40\" />";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"nested statistics elements",
       Repeat("<SmartStats deviceName=\"d\" serialNumber=\"s\" >", 40000) + drive +
           "</PhysicalDriveSmartStats>" + Repeat("</SmartStats>", 40000)},
      {"nested drives",
       "<SASSmartStats a=\"1\" >" + Repeat(drive, 20000) +
           Repeat("</PhysicalDriveSmartStats>", 20000) + "</SASSmartStats>"},
      {"unclosed tags", Repeat("<SmartStats <PhysicalDriveSmartStats <Attribute ", 50000)},
      {"attribute flood",
       "<SmartStats a=\"1\" >" + drive +
           Repeat("<Attribute id=\"0x01\" rawValue=\"1\" />", 60000) +
           "</PhysicalDriveSmartStats></SmartStats>"},
      {"nested controller logs",
       Repeat("<ControllerLog deviceName=\"d\" serialNumber=\"s\" time=\"1\" >"
              "<LogicalDriveStats id=\"0\" >",
              20000) +
           Repeat("</LogicalDriveStats></ControllerLog>", 20000)},
      {"empty element flood",
       "<ControllerLog deviceName=\"d\" serialNumber=\"s\" >" +
           Repeat("<PhysicalDriveStats channel=\"0\" id=\"1\" />", 60000) + "</ControllerLog>"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    TKVCore core;
    ParseSmart(c.text, core);
    ParseLogStats(c.text, core);
    ParseCacheStats(c.text, core);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(seconds.count(), 30.0) << c.what;
    EXPECT_LE(core.Stats.PhysStats.Count(), 100) << c.what;
  }
}

}  // namespace
}  // namespace kv

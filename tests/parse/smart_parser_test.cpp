// SMART parsers: drive records, attribute tables, description names, and
// the channel match of a companion configuration listing finding every drive.
#include <gtest/gtest.h>

#include <string>

#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "test_files.h"

namespace kv {
namespace {

using test::ReadFile;

std::string Sata(const std::string& drives) {
  return "<SmartStats deviceName=\"Ctrl A\" serialNumber=\"AB12\" >\r\n" + drives +
         "</SmartStats>\r\n";
}
std::string Sas(const std::string& drives) {
  return "<SASSmartStats deviceName=\"Ctrl A\" serialNumber=\"AB12\" >\r\n" + drives +
         "</SASSmartStats>\r\n";
}

TEST(SmartParser, DescriptionNamesNeedTheFlagWithoutAnAttachedBracket) {
  const std::string attr =
      "  <Attribute id=\"0x09\" name=\"Power-On Hours\" normalizedCurrent=\"99\" "
      "normalizedWorst=\"99\" rawValue=\"1200\" />\r\n </PhysicalDriveSmartStats>\r\n";
  const struct {
    const char* start;
    int names;
  } cases[] = {
      {" <PhysicalDriveSmartStats channel=\"0\" id=\"3\" isDescriptionAvailable=\"true\" >", 1},
      {" <PhysicalDriveSmartStats channel=\"0\" id=\"3\" isDescriptionAvailable=\"true\">", 0},
      {" <PhysicalDriveSmartStats channel=\"0\" id=\"3\" isDescriptionAvailable=\"1\" >", 1},
      {" <PhysicalDriveSmartStats channel=\"0\" id=\"3\" isDescriptionAvailable=\"false\" >", 0},
  };
  for (const auto& c : cases) {
    TKVCore core;
    ParseSmart(Sata(std::string(c.start) + "\r\n" + attr), core);
    ASSERT_EQ(core.SmartDescNames.Count(), c.names) << c.start;
    ASSERT_EQ(core.SATASmart.Count(), 1);
    if (c.names) {
      EXPECT_EQ(core.SmartDescNames.Find(3, 0, 9), "Power-On Hours") << "letter case restored";
    }
  }
}

TEST(SmartParser, SataAttributesTemperatureAndIncompleteRecords) {
  TKVCore core;
  ParseSmart(Sata(
 " <PhysicalDriveSmartStats channel=\"1\" id=\"5\" isDescriptionAvailable=\"true\" >\r\n"
 "  <Attribute id=\"0xC2\" name=\"Temperature\" normalizedCurrent=\"45\" "
 "normalizedWorst=\"55\" rawValue=\"45\" />\r\n"
 "  <Attribute id=\"0x05\" name=\"Reallocated\" normalizedCurrent=\"100\" "
 "normalizedWorst=\"100\" />\r\n"
 "  <Attribute id=\"0x01\" name=\"First\" normalizedCurrent=\"1\" normalizedWorst=\"1\" "
 "rawValue=\"0\" />\r\n"
 "  <Attribute id=\"0x01\" name=\"Second\" normalizedCurrent=\"2\" normalizedWorst=\"2\" "
 "rawValue=\"0\" />\r\n"
 " </PhysicalDriveSmartStats>\r\n"
 " <PhysicalDriveSmartStats id=\"6\" >\r\n"
 "  <Attribute id=\"0x09\" normalizedCurrent=\"1\" normalizedWorst=\"1\" rawValue=\"7\" />\r\n"
 " </PhysicalDriveSmartStats>\r\n"), core);
  ASSERT_EQ(core.SATASmart.Count(), 1) << "a drive without a channel is not recorded";
  const auto& drive = core.SATASmart.Item(0);
  EXPECT_EQ(drive.DeviceName, "ctrl a");
  EXPECT_EQ(drive.SerialNumber, "ab12");
  EXPECT_EQ(drive.Channel, "1");
  EXPECT_EQ(drive.Id, "5");
  EXPECT_EQ(drive.Health, "");
  EXPECT_EQ(drive.Temperature, "45 C");

  ASSERT_EQ(core.SATASmartParams.Count(), 2) << "the channel-less drive still got a table";
  const auto& params = *core.SATASmartParams.FindOrAdd("1", "5").Params;
  ASSERT_EQ(params.Count(), 3) << "the attribute without a raw value is not stored";
  EXPECT_EQ(params.Item(0).IdText, "c2");
  EXPECT_EQ(params.Item(0).Id, 194);
  EXPECT_EQ(params.Item(0).Current, "45");
  EXPECT_EQ(params.Item(0).Worst, "55");
  EXPECT_EQ(params.Item(0).Raw, "45");
  EXPECT_EQ(params.Item(1).Id, 1);
  EXPECT_EQ(core.SmartDescNames.Count(), 2) << "the second name for attribute 1 is not added";
  EXPECT_EQ(core.SmartDescNames.Find(5, 1, 1), "First");
  EXPECT_EQ(core.SmartDescNames.Find(5, 1, 194), "Temperature");
}

TEST(SmartParser, SasHealthTemperatureAndAttributes) {
  TKVCore core;
  ParseSmart(Sas(
 " <PhysicalDriveSmartStats channel=\"0\" id=\"4\" >\r\n"
 "  <SmartHealthStatus status=\"OK\" />\r\n"
 "  <TemperatureLogPage currentTemperatureCelcius=\"35\" />\r\n"
 "  <Attribute name=\"Elements in Grown Defect List\" value=\"2\" />\r\n"
 " </PhysicalDriveSmartStats>\r\n"
 " <PhysicalDriveSmartStats channel=\"0\" id=\"5\" >\r\n"
 "  <TemperatureLogPage currentTemperatureCelcius=\"35.5\" />\r\n"
 "  <Attribute name=\"SMART Health Status\" value=\"Impending Failure\" />\r\n"
 " </PhysicalDriveSmartStats>\r\n"
 " <PhysicalDriveSmartStats channel=\"0\" id=\"6\" >\r\n"
 "  <Attribute name=\"Current Drive Temperature\" value=\"38\" />\r\n"
 "  <Attribute value=\"1\" />\r\n"
 " </PhysicalDriveSmartStats>\r\n"), core);
  ASSERT_EQ(core.SASSmart.Count(), 3);
  EXPECT_EQ(core.SASSmart.Item(0).Health, "ok");
  EXPECT_EQ(core.SASSmart.Item(0).Temperature, "35 C");
  EXPECT_EQ(core.SASSmart.Item(1).Temperature, "") << "35.5 is not a whole number";
  EXPECT_EQ(core.SASSmart.Item(1).Health, "impending failure");
  EXPECT_EQ(core.SASSmart.Item(2).Temperature, "38 C");

  const auto& first = *core.SASSmartParams.FindOrAdd("0", "4").Params;
  ASSERT_EQ(first.Count(), 1);
  EXPECT_EQ(first.Item(0).Name, "Elements in Grown Defect List");
  EXPECT_EQ(first.Item(0).Value, "2");
  const auto& third = *core.SASSmartParams.FindOrAdd("0", "6").Params;
  ASSERT_EQ(third.Count(), 1) << "an attribute without a name is skipped";
  EXPECT_EQ(third.Item(0).Name, "Current Drive Temperature");
  EXPECT_EQ(third.Item(0).Value, "38");
  EXPECT_EQ(core.SATASmart.Count(), 0);
}

TEST(SmartParser, DescriptionNamesAreAddedOnceAndTakeTheFileCase) {
  TKVSmartDescNamesList names;
  names.AddIfNew(-1, 0, 1, "skipped");
  names.AddIfNew(3, -1, 1, "skipped");
  names.AddIfNew(3, 0, 1, "raw read error rate");
  names.AddIfNew(3, 0, 1, "second");
  names.AddIfNew(4, 0, 1, "raw read error rate");
  names.AddIfNew(4, 0, 9, "not in file");
  EXPECT_EQ(names.Count(), 3);
  ResolveDescriptionNameCase(names, "<attribute name=\"Raw Read Error Rate\" id=\"0x01\"/>");
  EXPECT_EQ(names.Find(3, 0, 1), "Raw Read Error Rate");
  EXPECT_EQ(names.Find(4, 0, 1), "Raw Read Error Rate");
  EXPECT_EQ(names.Find(4, 0, 9), "not in file");
  EXPECT_EQ(names.Find(5, 0, 1), "");
}

TEST(SmartParser, TempFromRawAndCaseOf) {
  const std::pair<std::string, std::string> temps[] = {
      {"45", "45 C"},   {std::to_string(42 + (7 << 8) + (int64_t{33} << 16)), "42 C"},
      {"4294967295", ""}, {"256", ""}, {"0", ""}, {"abc", ""}, {"", ""}, {"12x", ""},
      {"-1", "255 C"},  {"99999999999999999999", ""}};
  for (const auto& [raw, temp] : temps) EXPECT_EQ(TempFromRaw(raw), temp) << raw;
  EXPECT_EQ(CaseOf("drive trip", "<A name=\"Drive Trip Temp\"/>"), "Drive Trip");
  EXPECT_EQ(CaseOf("absent", "<A name=\"Drive\"/>"), "absent");
}

TEST(SmartFixtures, CompanionListingMatchesEveryDrive) {
  const std::string dir = KV_SOURCE_DIR "/tests/fixtures/";
  TKVCore core;
  ParseConfig(ReadFile(dir + "smart_mixed_config.txt"), core);
  ParseSmart(ReadFile(dir + "smart_mixed.xml"), core);
  BuildResult(core);
  EXPECT_EQ(core.SATASmart.Count(), 5);
  EXPECT_EQ(core.SASSmart.Count(), 3);
  EXPECT_EQ(core.SATASmartParams.Count(), 5);
  EXPECT_EQ(core.SASSmartParams.Count(), 3);
  ASSERT_EQ(core.Result.HDDs.Count(), 8);
  int with_temperature = 0, with_health = 0;
  for (const auto& hdd : core.Result.HDDs) {
    with_temperature += !hdd.SmartTemperature.empty();
    with_health += !hdd.SmartHealth.empty();
  }
  EXPECT_EQ(with_temperature, 7) << "drive 4 reports only 20 attributes, none of them 0xC2";
  EXPECT_EQ(with_health, 3) << "only SAS drives report a health status";
  // Drive 2 lost the raw value of one attribute; drive 4 repeats attribute 0x01.
  EXPECT_EQ(core.SATASmartParams.FindOrAdd("0", "2").Params->Count(), 29);
  EXPECT_EQ(core.SmartDescNames.Find(4, 0, 1), "Raw Read Error Rate");
}

}  // namespace
}  // namespace kv

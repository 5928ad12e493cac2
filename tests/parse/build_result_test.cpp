// BuildResult: which pair fills which field, which match wins, and the drive matches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_log_recorder.h"
#include "parse/config_parser.h"

namespace kv {
namespace {

TEST(BuildResult, ControllerAndBackupUnitFields) {
  TKVCore core;
  core.ControllerInfo.Add("Controller Mode", "RAID (Expose RAW)");
  core.ControllerInfo.Add("Controller Model", "Korvane KVR7805Z");
  core.ControllerInfo.Add("Controller Status", "Optimal");
  core.ControllerInfo.Add("Temperature", "48 C/ 118 F (Normal)");
  core.ControllerInfo.Add("Controller Serial Number", "KV1");
  core.ControllerInfo.Add("Controller Serial Number", "KV2");  // last match wins
  core.VersionInfo.Add("BIOS", "5.2-0");
  core.BBUInfo.Add("Status", "Optimal");
  core.BBUInfo.Add("Overall Backup Unit Status", "Ready");
  core.BBUInfo.Add("Current Temperature", "29 deg C");  // also a temperature, but BBU only
  core.BBUInfo.Add("Over temperature", "No");
  BuildResult(core);
  const TResultController& c = core.Result.Controller;
  EXPECT_EQ(c.Mode, "RAID (Expose RAW)");
  EXPECT_EQ(c.Model, "Korvane KVR7805Z");
  EXPECT_EQ(c.Status, "Optimal");
  EXPECT_EQ(c.SerialNumber, "KV2");
  EXPECT_EQ(c.Temperature, "48 C/ 118 F (Normal)");
  EXPECT_EQ(c.Lines.size(), 6u);
  EXPECT_EQ(c.Lines[0], "Controller Mode: RAID (Expose RAW)");
  EXPECT_EQ(c.VersionLines, std::vector<std::string>{"BIOS: 5.2-0"});
  EXPECT_EQ(c.BBUStatus, "Optimal");
  EXPECT_EQ(c.BBUOverallStatus, "Ready");
  EXPECT_EQ(c.BBUCurrentTemperature, "29 deg C");
  EXPECT_EQ(c.BBUOverTemperature, "No");
  EXPECT_EQ(c.BBULines.size(), 4u);
}

TEST(BuildResult, LogicalDeviceFieldsAndFormedUniqueId) {
  TKVCore core;
  TKVLDItem& a = core.LDs.Add();
  a.Number = "0";
  a.Info.Add("Logical device name", "Data 1");
  a.Info.Add("RAID level", "RAID 5");
  a.Info.Add("Status of logical device", "Degraded");
  a.Info.Add("Size", "100 MB");
  a.Info.Add("Parity space", "50 MB");
  a.Info.Add("Stripe-unit size", "256 KB");
  a.Info.Add("Write-cache mode", "Enabled (write-back)");
  a.Info.Add("Read-cache mode", "Enabled");
  a.Info.Add("Read-cache status", "On");
  a.Info.Add("Read-cache mode", "Off");  // a status pair was seen: mode still overwrites
  a.Segments.Add("Segment 0", "Present (0,0) S0");
  TKVLDItem& b = core.LDs.Add();
  b.Number = "1";
  b.Info.Add("Logical device name", "x");
  b.Info.Add("Unique Identifier", "A875F532");
  BuildResult(core);
  ASSERT_EQ(core.Result.LDs.Count(), 2);
  const TResultLD& ld = core.Result.LDs.Item(0);
  EXPECT_EQ(ld.Number, "0");
  EXPECT_EQ(ld.Status, "Degraded");
  EXPECT_EQ(ld.Size, "100 MB");
  EXPECT_EQ(ld.UniqueId, "data_1__raid_5");
  EXPECT_FALSE(ld.HasUniqueId);
  EXPECT_EQ(ld.WriteCacheStatus, "Enabled (write-back)");
  EXPECT_EQ(ld.ReadCacheStatus, "Off");
  EXPECT_EQ(ld.Segments, std::vector<std::string>{"Present (0,0) S0"});
  EXPECT_EQ(ld.Lines.size(), 10u);
  EXPECT_EQ(core.Result.LDs.Item(1).UniqueId, "A875F532");
  EXPECT_TRUE(core.Result.LDs.Item(1).HasUniqueId);
}

TEST(BuildResult, ZepCacheDeviceAlwaysFormsItsUniqueId) {
  TKVCore core;
  TKVZEPLDItem& z = core.ZepLDs.Add();
  z.Number = "100";
  z.Info.Add("zepCache device name", "ZepCache 0");
  z.Info.Add("RAID level", "1");
  z.Info.Add("Status of zepCache", "Optimal");
  z.Info.Add("Unique Identifier", "IGNORED");
  BuildResult(core);
  const TResultZepLD& r = core.Result.ZepLDs.Item(0);
  EXPECT_EQ(r.DeviceName, "ZepCache 0");
  EXPECT_EQ(r.Status, "Optimal");
  EXPECT_EQ(r.UniqueId, "zepcache_0__1");
  EXPECT_FALSE(r.HasUniqueId);
}

TEST(BuildResult, DriveFieldsTakeTheFirstMatchButTransferSpeedTheLast) {
  TKVCore core;
  TKVHDDItem& h = core.HDDs.Add();
  h.Number = "3";
  h.Info.Add("State", "Online");
  h.Info.Add("Power State", "Full rpm");
  h.Info.Add("Transfer Speed", "SAS 3.0 Gb/s");
  h.Info.Add("Transfer Speed", "SAS 6.0 Gb/s");
  h.Info.Add("Firmware", "");  // first match wins even when empty
  h.Info.Add("Firmware level", "BA26");
  h.Info.Add("Used Size", "190600 MB");
  h.Info.Add("Size", "190782 MB");
  h.Info.Add("Serial number", "S1");
  h.Info.Add("Write Cache", "Enabled (write-back)");
  TKVHDDItem& bad = core.HDDs.Add();
  bad.Number = "x";
  BuildResult(core);
  const TResultHDD& d = core.Result.HDDs.Item(0);
  EXPECT_EQ(d.Number, 3);
  EXPECT_EQ(d.State, "Online");
  EXPECT_EQ(d.TransferSpeed, "SAS 6.0 Gb/s");
  EXPECT_EQ(d.Firmware, "");
  EXPECT_EQ(d.Size, "190600 MB");
  EXPECT_EQ(d.SerialNumber, "S1");
  EXPECT_EQ(core.Result.HDDs.Item(1).Number, -1);
}

TEST(BuildResult, EnclosureIdVendorAndTemperature) {
  TKVCore core;
  TKVEnclosureItem& plain = core.Enclosures.Add();
  plain.Number = "8";
  plain.StatusInfo.Add("Vendor", "FromStatus");
  plain.StatusInfo.Add("Temperature 0", "31 C");
  plain.StatusInfo.Add("Temperature 1", "32 C");
  TKVEnclosureItem& named = core.Enclosures.Add();
  named.Number = "9";
  named.Info.Add("Vendor", "KORVANE");
  named.Info.Add("Enclosure ID", "\t1 ");
  named.StatusInfo.Add("Vendor", "ignored");
  BuildResult(core);
  const TResultEnclosure& e0 = core.Result.Enclosures.Item(0);
  EXPECT_EQ(e0.Id, "8");
  EXPECT_EQ(e0.Vendor, "FromStatus");
  EXPECT_EQ(e0.Temperature, "31 C");
  EXPECT_EQ(e0.StatusLines.size(), 3u);
  const TResultEnclosure& e1 = core.Result.Enclosures.Item(1);
  EXPECT_EQ(e1.Id, "1");
  EXPECT_EQ(e1.Vendor, "KORVANE");
}

const char kListing[] =
    "Controller information\n"
    "   Controller Serial Number : KV1\n"
    "Logical device information\n"
    "Logical device number 0\n"
    "   Logical device segment information\n"
    "   Segment 0 : Present (Controller:1,Enclosure:0,Slot:0) SA\n"
    "   Segment 1 : Present (Controller:1,Enclosure:0,Slot:1) SB\n"
    "Physical Device information\n"
    "      Device #0\n"
    "         Device is a Hard drive\n"
    "         Reported Channel,Device(T:L) : 0,0(0:0)\n"
    "         Reported Location : Enclosure 0, Slot 0\n"
    "         Serial number : SA\n"
    "      Device #1\n"
    "         Device is a Hard drive\n"
    "         Reported Channel,Device : 0,1\n"
    "         Serial number : SB\n"  // no location pair: a member by its serial
    "      Device #2\n"
    "         Device is an Enclosure services device\n"
    "         Enclosure ID : 0\n";

TEST(BuildResult, MatchesDrivesToEnclosuresAndLogicalDevices) {
  TKVCore core;
  ParseConfig(kListing, core);
  core.SASSmart.Add("c", "kv1", "0", "0", "ok", "35 C");
  BuildResult(core);
  ASSERT_EQ(core.Result.HDDs.Count(), 2);
  const TResultHDD& d0 = core.Result.HDDs.Item(0);
  EXPECT_EQ(d0.Channel, "0");
  EXPECT_EQ(d0.SmartHealth, "ok");
  ASSERT_NE(d0.Enclosure, nullptr);
  EXPECT_EQ(d0.Enclosure->Id, "0");
  EXPECT_EQ(core.Result.HDDs.Item(1).DeviceId, "1");
  const TIntList& members = core.Result.LDs.Item(0).Members;
  ASSERT_EQ(members.Count(), 2);
  EXPECT_EQ(members.Item(0).Key, 0);
  EXPECT_EQ(members.Item(1).Key, 1);

  // Running it again starts from a clean result.
  BuildResult(core);
  EXPECT_EQ(core.Result.HDDs.Count(), 2);
  EXPECT_EQ(core.Result.LDs.Item(0).Members.Count(), 2);
  EXPECT_EQ(core.Result.Enclosures.Item(0).Slots.Count(), 1);
  EXPECT_EQ(core.Result.Controller.Lines.size(), 1u);
}

// Two enclosures reporting the same Id are told apart by the drive's ESD; an enclosure
// printed without an Id takes the drives when it is the only one of its kind.
TEST(BuildResult, DrivesLandInExactlyOneEnclosure) {
  const auto drive = [](int n, const char* location, const char* esd) {
    return "      Device #" + std::to_string(n) + "\n         Device is a Hard drive\n" +
           "         Reported Location : " + location + "\n         Reported ESD : " + esd + "\n";
  };
  TKVCore core;
  ParseConfig("Physical Device information\n" + drive(0, "Enclosure 0, Slot 0", "2,1") +
              drive(1, "Enclosure 0, Slot 0", "2,0") +
              "      Device #2\n         Device is an Enclosure services device\n"
              "         Reported Channel,Device : 2,0\n         Enclosure ID : 0\n"
              "      Device #3\n         Device is an Enclosure services device\n"
              "         Reported Channel,Device(T:L) : 2,1(1:0)\n         Enclosure ID : 0\n", core);
  BuildResult(core);
  EXPECT_EQ(core.Result.HDDs.Item(0).Enclosure, &core.Result.Enclosures.Item(1));
  EXPECT_EQ(core.Result.HDDs.Item(1).Enclosure, &core.Result.Enclosures.Item(0));
  EXPECT_EQ(core.Result.Enclosures.Item(0).Slots.Count(), 1);
  EXPECT_EQ(core.Result.Enclosures.Item(1).Slots.Count(), 1);

  TKVCore old;
  ParseConfig("Physical Device information\n" +
              std::string("      Device #0\n         Device is a Hard drive\n"
                          "         Reported Enclosure,Slot : 0,2\n"
                          "      Device #4\n         Device is an Enclosure\n"
                          "            Type : SES2\n"), old);
  BuildResult(old);
  EXPECT_EQ(old.Result.HDDs.Item(0).Enclosure, &old.Result.Enclosures.Item(0));
  EXPECT_EQ(old.Result.Enclosures.Item(0).Slots.Item(0).Value, 2);
}

TEST(BuildResult, EmptyModelGivesAnEmptyResult) {
  TKVCore core;
  core.Result.Controller.Status = "stale";
  core.Result.Controller.BBUStatus = "stale";
  BuildResult(core);
  EXPECT_EQ(core.Result.Controller.Status, "");
  EXPECT_EQ(core.Result.Controller.BBUStatus, "");
  EXPECT_EQ(core.Result.HDDs.Count() + core.Result.LDs.Count() + core.Result.ZepLDs.Count() +
                core.Result.Enclosures.Count(),
            0);
}

}  // namespace
}  // namespace kv

// The per-drive channel and location matches that BuildResult runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_log_recorder.h"
#include "parse/config_parser.h"
#include "parse/drive_matcher.h"

namespace kv {
namespace {

TEST(MatchChannel, SplitsChannelAndIdOrLogsWhy) {
  struct Row {
    const char* value;
    const char* channel;
    const char* id;
    const char* log;  // "" when nothing is logged
  } rows[] = {
      {"0,3(3:0)", "0", "3", ""},
      {"0,3", "0", "3", ""},
      {" 1 , 12 (12:0)", "1", "12", ""},
      {"2,", "2", "", ""},
      {"03(3:0)", "", "", "ERORR PARSE! parce_channel, non decimal [03]"},
      {"", "", "", "ERORR PARSE! parce_channel, non decimal []"},
      {",3", "", "", "ERORR PARSE! parce_channel, null [sl=, sv=3, data=,3]"},
      {" ,3(3:0)", "", "", "ERORR PARSE! parce_channel, null [sl=, sv=3, data=,3]"},
  };
  for (const Row& row : rows) {
    TCoreLogRecorder log;
    TKVCore core;
    TResultHDD drive;
    MatchChannel(row.value, drive, 0, core);
    EXPECT_EQ(drive.Channel, row.channel) << row.value;
    EXPECT_EQ(drive.DeviceId, row.id) << row.value;
    if (*row.log == '\0') {
      EXPECT_TRUE(log.lines.empty()) << row.value;
    } else {
      EXPECT_EQ(log.lines, std::vector<std::string>{row.log}) << row.value;
    }
  }
}

TEST(MatchChannel, TakesSmartFromTheFirstRecordOfThisControllerSasBeforeSata) {
  TKVCore core;
  core.Result.Controller.SerialNumber = "KV7805Z0042";
  core.SATASmart.Add("ctrl", "kv7805z0042", "0", "3", "", "30 C");
  core.SASSmart.Add("ctrl", "otherserial", "0", "3", "ok", "99 C");  // another controller
  core.SASSmart.Add("ctrl", "kv7805z0042", "0", "3", "ok", "38 C");
  core.SASSmart.Add("ctrl", "kv7805z0042", "0", "3", "bad", "40 C");
  TResultHDD sas;
  MatchChannel("0,3(3:0)", sas, 0, core);
  EXPECT_EQ(sas.SmartHealth, "ok");
  EXPECT_EQ(sas.SmartTemperature, "38 C");

  TResultHDD sata;
  core.SATASmart.Add("ctrl", "kv7805z0042", "0", "4", "", "31 C");
  MatchChannel("0,4", sata, 1, core);
  EXPECT_EQ(sata.SmartHealth, "");
  EXPECT_EQ(sata.SmartTemperature, "31 C");

  TResultHDD unknown;
  MatchChannel("1,4", unknown, 2, core);
  EXPECT_EQ(unknown.SmartTemperature, "");
}

// A result with enclosure "0" and enclosure "1".
class MatchLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core.Result.Enclosures.Add().Id = "0";
    core.Result.Enclosures.Add().Id = "1";
  }
  TKVCore core;
};

TEST_F(MatchLocationTest, PutsTheDriveIntoItsEnclosureSlot) {
  struct Row {
    const char* value;
    int enclosure;  // index in Result.Enclosures, -1 for none
    int slot;
  } rows[] = {
      {"Enclosure 0, Slot 3", 0, 3},
      {"ENCLOSURE 1, SLOT 11", 1, 11},
      {"Enclosure 1, Slot 3(Connector 0)", 1, 3},  // whatever follows the slot number
      {"Enclosure 0, Slot 0( Connector Unknown )", 0, 0},
      {"Enclosure 00, Slot 2", 0, 2},
      {"Enclosure 2, Slot 1", -1, 0},  // no such enclosure
      {"Enclosure 0, Slot -1", -1, 0},
      {"Enclosure 0, Slot 99999999999", -1, 0},
      {"Enclosure 0", -1, 0},
      {"Connector 1, Device 0", -1, 0},
      {"Enclosure Direct Attached, Slot 1(Connector 0:CN0)", -1, 0},  // not an enclosure
  };
  int drive_index = 0;
  for (const Row& row : rows) {
    TResultHDD drive;
    std::vector<int> slots_before;
    for (auto& e : core.Result.Enclosures) slots_before.push_back(e.Slots.Count());
    MatchLocation(row.value, drive, drive_index, core);
    if (row.enclosure < 0) {
      EXPECT_EQ(drive.Enclosure, nullptr) << row.value;
      int i = 0;
      for (auto& e : core.Result.Enclosures) EXPECT_EQ(e.Slots.Count(), slots_before[i++]);
    } else {
      TResultEnclosure& e = core.Result.Enclosures.Item(row.enclosure);
      EXPECT_EQ(drive.Enclosure, &e) << row.value;
      ASSERT_EQ(e.Slots.Count(), slots_before[row.enclosure] + 1) << row.value;
      EXPECT_EQ(e.Slots.Item(e.Slots.Count() - 1).Key, drive_index);
      EXPECT_EQ(e.Slots.Item(e.Slots.Count() - 1).Value, row.slot);
    }
    ++drive_index;
  }
}

// Five drives: #0 in enclosure 0 slot 3 on channel 0,0; #1 at "Connector 1, Device 0" on
// 0,1; #2 direct attached in slot 5 of connector 2 on 0,2; #3 and #4 without a location,
// sharing a redacted serial, on 0,3 and 0,4.
const char kDrives[] =
    "Physical Device information\n"
    "      Device #0\n         Device is a Hard drive\n"
    "         Reported Channel,Device(T:L) : 0,0(0:0)\n"
    "         Reported Location : Enclosure 0, Slot 3(Connector 0)\n"
    "         Serial number : SA\n"
    "      Device #1\n         Device is a Hard drive\n"
    "         Reported Channel,Device(T:L) : 0,1(1:0)\n"
    "         Reported Location : Connector 1, Device 0\n"
    "         Serial number : SB\n"
    "      Device #2\n         Device is a Hard drive\n"
    "         Reported Channel,Device(T:L) : 0,2(2:0)\n"
    "         Reported Location : Enclosure Direct Attached, Slot 5(Connector 2:CN2)\n"
    "         Serial number : SC\n"
    "      Device #3\n         Device is a Hard drive\n"
    "         Reported Channel,Device : 0,3\n"
    "         Serial number : XXX\n"
    "      Device #4\n         Device is a Hard drive\n"
    "         Reported Channel,Device : 0,4\n"
    "         Serial number : XXX\n"
    "      Device #5\n         Device is an Enclosure services device\n"
    "         Enclosure ID : 0\n";

// Each member row links to the one drive its own labels name; the serial number only
// when the row names no place or its place matches no drive.
TEST(MemberRows, EachRowLinksToOneDriveOrIsMissing) {
  struct Row {
    const char* rows;  // pairs of the device after its member heading
    std::vector<int> members;
    int missing;
  } rows[] = {
      {"Segment 0 : Present (Controller:1,Enclosure:0,Slot:3) OTHER", {0}, 0},
      {"Group 1, Segment 1 : Rebuilding (Controller:1,Connector:1,Device:0) SB", {1}, 0},
      {"Device 3 : Present (228936MB, SAS, HDD, Connector:0, Device:3) ZZ", {3}, 0},
      {"Segment 0 : Present (2861588MB, SATA, HDD, Channel:0, Device:2) ZZ", {2}, 0},
      {"Segment 0 : Present (100MB, SAS, HDD, Connector:2, Device:5) ZZ", {2}, 0},
      {"Segment 5 : Inconsistent (0,1)", {1}, 0},  // bare pair: channel,device only
      {"Segment 0 : Present (1,0) SB", {1}, 0},   // no drive on 1,0: the serial
      {"Segment 0 : Present (Controller:1,Enclosure:0,Slot:9) sc", {2}, 0},
      {"Segment 0 : Present (9,9) XXX\nSegment 1 : Present (9,9) XXX", {3, 4}, 0},
      {"Segment 0 : Present (0,0) SA\nSegment 1 : Present (0,0) SA", {0, 0}, 0},
      {"Segment 0 : Missing (Controller:1,Enclosure:0,Slot:3) SA", {}, 1},
      {"Segment 1 : Missing", {}, 1},
      {"Segment 0 : Present (Controller:1,Enclosure:7,Slot:7) NOSUCH", {}, 1},
      {"Device ID : Availability (SizeMB, Protocol, Type, Connector ID, Location) Serial Number", {}, 0},
  };
  for (const Row& row : rows) {
    TKVCore core;
    ParseConfig(std::string("Logical device information\nLogical Device number 0\n"
                            "   Array Physical Device Information\n") +
                row.rows + "\n" + kDrives, core);
    BuildResult(core);
    ASSERT_EQ(core.Result.LDs.Count(), 1) << row.rows;
    std::vector<int> members;
    for (const TIntPair& m : core.Result.LDs.Item(0).Members) members.push_back(m.Key);
    EXPECT_EQ(members, row.members) << row.rows;
    EXPECT_EQ(static_cast<int>(core.Result.LDs.Item(0).MissingMembers.size()), row.missing) << row.rows;
  }
}

TEST(MemberRows, OldFirmwareListsMembersByChannelAndAPartialListingMissesNone) {
  TKVCore core;
  ParseConfig(std::string("Logical drive information\nLogical drive number 1\n"
                          "   Status of logical drive : Offline\n"
                          "   Drive(s) (Channel,Device) : 0,4 0,0 \n") +
              kDrives, core);
  BuildResult(core);
  ASSERT_EQ(core.Result.LDs.Count(), 1);
  const TResultLD& ld = core.Result.LDs.Item(0);
  EXPECT_EQ(ld.Status, "Offline");
  ASSERT_EQ(ld.Members.Count(), 2);
  EXPECT_EQ(ld.Members.Item(0).Key, 0);  // in drive order
  EXPECT_EQ(ld.Members.Item(1).Key, 4);

  // Without any drive in the listing only a row that says so is missing.
  TKVCore partial;
  ParseConfig(
      "Logical device information\nLogical device number 0\n"
      "   Logical device segment information\n"
      "   Segment 0 : Present (Controller:1,Enclosure:0,Slot:0) SA\n"
      "   Segment 1 : Missing\n", partial);
  BuildResult(partial);
  EXPECT_EQ(partial.Result.LDs.Item(0).MissingMembers, (TStringList{"Missing"}));
}

}  // namespace
}  // namespace kv

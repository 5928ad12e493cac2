// The per-drive channel and location matches that BuildResult runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/config_log_recorder.h"

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
    core.MatchChannel(row.value, drive, 0);
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
  core.MatchChannel("0,3(3:0)", sas, 0);
  EXPECT_EQ(sas.SmartHealth, "ok");
  EXPECT_EQ(sas.SmartTemperature, "38 C");

  TResultHDD sata;
  core.SATASmart.Add("ctrl", "kv7805z0042", "0", "4", "", "31 C");
  core.MatchChannel("0,4", sata, 1);
  EXPECT_EQ(sata.SmartHealth, "");
  EXPECT_EQ(sata.SmartTemperature, "31 C");

  TResultHDD unknown;
  core.MatchChannel("1,4", unknown, 2);
  EXPECT_EQ(unknown.SmartTemperature, "");
}

// A result with enclosure "0" (block 7, renamed by its Enclosure ID), enclosure "1" and one
// logical device whose segments name two serial numbers.
class MatchLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TResultEnclosure& e0 = core.Result.Enclosures.Add();
    e0.Id = "0";
    TResultEnclosure& e1 = core.Result.Enclosures.Add();
    e1.Id = "1";
    TResultLD& ld = core.Result.LDs.Add();
    ld.Segments = {"Present (Controller:1,Enclosure:0,Slot:3) WD-WX31A1234567",
                   "Missing (Controller:1,Enclosure:0,Slot:4) SERIAL4",
                   "Rebuilding (Controller:1,Enclosure:0,Slot:5) SERIAL5",
                   "Present (Controller:1,Enclosure:0,Slot:3) wd-wx31a1234567",
                   "Dedicated Spare (0,6) SPARE6",
                   "Present (0,0)"};
    TResultZepLD& zep = core.Result.ZepLDs.Add();
    zep.Segments = {"Present (190782MB, SATA, SSD, Connector:1, Device:0) WD-WX31A1234567"};
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
      {"Enclosure 1, Slot 3(Connector 0)", -1, 0},  // more after the slot number
      {"Enclosure 0, Slot 0( Connector Unknown )", -1, 0},
      {"Enclosure 2, Slot 1", -1, 0},  // no such enclosure
      {"Enclosure 0, Slot -1", -1, 0},
      {"Connector 1, Device 0", -1, 0},
      {"Enclosure Direct Attached, Slot 1(Connector 0:CN0)", -1, 0},
  };
  int drive_index = 0;
  for (const Row& row : rows) {
    TResultHDD drive;
    std::vector<int> slots_before;
    for (auto& e : core.Result.Enclosures) slots_before.push_back(e.Slots.Count());
    core.MatchLocation(row.value, drive, drive_index);
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

TEST_F(MatchLocationTest, JoinsEveryDeviceWhosePresentOrSpareSegmentNamesTheSerial) {
  TResultHDD drive;
  drive.SerialNumber = "WD-WX31A1234567";
  core.MatchLocation("Enclosure 0, Slot 3", drive, 4);
  // Both present lines of the logical device match (letter case ignored), and the zepCache
  // device's line too.
  const TIntList& members = core.Result.LDs.Item(0).Members;
  ASSERT_EQ(members.Count(), 2);
  EXPECT_EQ(members.Item(0).Key, 4);
  EXPECT_EQ(members.Item(0).Value, 0);
  EXPECT_EQ(core.Result.ZepLDs.Item(0).Members.Count(), 1);

  struct Row {
    const char* serial;
    int members;
  } rows[] = {
      {"SERIAL4", 0},  // missing segment
      {"SERIAL5", 0},  // rebuilding segment is neither present nor spare
      {"SPARE6", 1},
      {"", 0},  // the line without a serial reads as the whole line, never as empty
  };
  for (const Row& row : rows) {
    TKVCore fresh;
    TResultLD& ld = fresh.Result.LDs.Add();
    ld.Segments = core.Result.LDs.Item(0).Segments;
    TResultHDD d;
    d.SerialNumber = row.serial;
    fresh.MatchLocation("Connector 1, Device 0", d, 0);
    EXPECT_EQ(ld.Members.Count(), row.members) << "[" << row.serial << "]";
  }
}

}  // namespace
}  // namespace kv

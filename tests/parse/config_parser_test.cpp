// Sectioning, markers, sub-blocks and numbering of the configuration listing parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/config_log_recorder.h"
#include "parse/config_parser.h"
#include "parse/controller_count.h"

namespace kv {
namespace {

std::vector<std::string> Pairs(const TKVList& list) {
  std::vector<std::string> out;
  for (const TKVItem& item : list) out.push_back(item.Key + "=" + item.Value);
  return out;
}

using Lines = std::vector<std::string>;

TEST(ConfigParser, SplitPairTrimsKeyAndValue) {
  const auto pair = SplitPair("   Reported Channel,Device(T:L)   : 0,0(0:0)  ");
  EXPECT_EQ(pair.first, "Reported Channel,Device(T:L)");
  EXPECT_EQ(pair.second, "0,0(0:0)");
}

// The count of controllers the utility reports, as either generation prints it.
TEST(ConfigParser, ReportedControllerCount) {
  const std::pair<const char*, int> rows[] = {
      {"Controllers found: 2\r\n----\r\nController information\r\n", 2},
      {"\r\n  Controllers Found: 1 \r\n", 1},
      {"CONTROLLERS FOUND:\t12\n", 12},
      {"Controller information\n", 0},
      {"Controllers found: two\n", 0},
      {"Controllers found: 99999\n", 0},
      {"", 0},
  };
  for (const auto& [listing, count] : rows) EXPECT_EQ(ReportedControllerCount(listing), count) << listing;
}

TEST(ConfigParser, ControllerPairsGoToTheListOfTheLastMarker) {
  TKVCore core;
  ParseConfig(
      "Controllers found: 1\n"
      "Controller information\n"
      "   Controller Status                        : Optimal\n"
      "   Controller Model                         : Korvane KVR8885Q  \n"
      "   no pair on this line\n"
      "   Controller Version Information\n"
      "   Firmware                                 : 7.13-0 (33263)\n"
      "   Controller Battery Information\n"
      "   Status                                   : Optimal\n"
      "         Supercap Information\n"  // nested deeper: still the battery's
      "         Life-time Temperature Recorded\n"
      "         Cells                              : 2\n"
      "   Controller Vital Product Data\n"  // another sub-heading: the controller's again
      "   Serial Number                            : 6A256D6BB3F\n"
      "   Controller Version Information\n"
      "   Driver                                   : 1.2-1\n"
      "   Connector information\n"  // indented: still inside the controller block
      "   Connector #0\n"
      "      Connector Name                        : CN0\n"
      "   Controller ZMM Information\n"
      "   Status                                   : ZMM Optimal\n", core);
  EXPECT_EQ(Pairs(core.ControllerInfo), (Lines{"Controller Status=Optimal", "Controller Model=Korvane KVR8885Q",
                                               "Serial Number=6A256D6BB3F", "Connector Name=CN0"}));
  EXPECT_EQ(Pairs(core.VersionInfo), (Lines{"Firmware=7.13-0 (33263)", "Driver=1.2-1"}));
  EXPECT_EQ(Pairs(core.BBUInfo), (Lines{"Status=Optimal", "Cells=2", "Status=ZMM Optimal"}));
}

TEST(ConfigParser, CacheBackupUnitHeadingAlsoSelectsTheBackupUnit) {
  TKVCore core;
  ParseConfig(
      "Controller information\n"
      "   Controller Cache Backup Unit Information\n"
      "    Overall Backup Unit Status              : Ready\n", core);
  EXPECT_EQ(Pairs(core.BBUInfo), (Lines{"Overall Backup Unit Status=Ready"}));
  EXPECT_EQ(core.ControllerInfo.Count(), 0);
}

// Which lines are headings. Each row starts inside logical device 0, then reads the row's
// line and one pair, and says where the pair lands: 'C' controller, 'L' still logical
// device 0, '-' nowhere (a new section without a device number, or no section).
TEST(ConfigParser, HeadingsAreRecognisedExactlyAsWritten) {
  struct Row {
    const char* line;
    char lands;
  } rows[] = {
      {"Controller information", 'C'},
      {"CONTROLLER INFORMATION", 'C'},
      {"Controller information ", '-'},  // trailing blank: a heading we do not know
      {" Controller information", 'L'},
      {"Logical device information", '-'},
      {"Logical device information ", '-'},
      {"Array Information", '-'},
      {"   Array Information", 'L'},  // indented: no heading
      {"Logical device number 1", 'L'},  // a numbered line, not a heading
      {"   Connector information   ", '-'},  // blanks around it are allowed
      {"Lane Information", '-'},
      {"Physical Device information", '-'},
      {"zepCache 3.0 information", '-'},
      {"Logical drive information", '-'},  // the oldest firmware's wording
  };
  for (const Row& row : rows) {
    TKVCore core;
    ParseConfig(std::string("Logical device information\nLogical device number 0\n") +
                row.line + "\n   Status : B\n", core);
    const char lands = core.ControllerInfo.Count() == 1 ? 'C'
                       : core.LDs.Count() == 1          ? 'L'
                                                        : '-';
    EXPECT_EQ(lands, row.lands) << "[" << row.line << "]";
  }
  // Before any heading nothing is stored.
  TKVCore none;
  ParseConfig("   Status : Optimal\nController information \n   Status : B\n", none);
  EXPECT_EQ(none.ControllerInfo.Count(), 0);
}

// A column-0 heading of a generation we do not know is named in the core log: at most five
// a listing, each once while the caller's memory of them lives.
TEST(ConfigParser, UnknownHeadingsAreLoggedOnceAndBounded) {
  std::string listing = "Controller information\n   Controller Status : Optimal\n";
  for (int i = 0; i < 7; ++i) listing += "Unheard Of Block " + std::string(1, static_cast<char>('A' + i)) + "\n   Key : v\n";
  listing += "Array Information\nArray Number 0\nCommand completed successfully.\n";
  TSeenHeadings seen;
  TCoreLogRecorder first;
  TKVCore core;
  ParseConfig(listing, core, seen);
  ASSERT_EQ(first.lines.size(), 5u);
  EXPECT_EQ(first.lines[0], "PARSE! unknown heading in the configuration listing, its block is skipped: [Unheard Of Block A]");
  EXPECT_EQ(Pairs(core.ControllerInfo), (Lines{"Controller Status=Optimal"}));  // nothing else lands there

  TCoreLogRecorder second;
  TKVCore again;
  ParseConfig(listing, again, seen);
  EXPECT_EQ(second.lines.size(), 2u);  // F and G; A to E were written already

  TCoreLogRecorder third;
  TKVCore fresh;
  ParseConfig(listing, fresh);  // a memory of its own: A to E again
  EXPECT_EQ(third.lines.size(), 5u);
}

TEST(ConfigParser, TheHeadingMemoryStopsTakingNewHeadingsWhenFull) {
  TSeenHeadings seen;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.FirstTime("H" + std::to_string(i)));
  EXPECT_FALSE(seen.FirstTime("H0"));
  EXPECT_FALSE(seen.FirstTime("one too many"));
}

TEST(ConfigParser, LogicalDeviceNumbersSegmentsAndBadNumbers) {
  TKVCore core;
  ParseConfig(
      "Logical device information\n"
      "   RAID level                               : 0\n"  // no number yet: dropped
      "Logical device number 1\n"
      "   Logical device name                      : Data 1\n"
      "   Logical device segment information\n"
      "   Segment 0                                : Present (0,0) WD-1\n"
      "Logical device number x\n"  // not a number: the block is dropped
      "   Logical device name                      : Lost\n"
      "Logical Device number 2\n"
      "   Logical Device name                      : Two\n"
      "Logical device number\n"  // no text after the phrase: keeps block 2
      "   RAID level                               : 5\n"
      "Logical device number 1\n"  // block 1 again: the same item, not in segments
      "   Size                                     : 100 MB\n", core);
  ASSERT_EQ(core.LDs.Count(), 2);
  EXPECT_EQ(core.LDs.Item(0).Number, "1");
  EXPECT_EQ(Pairs(core.LDs.Item(0).Info),
            (Lines{"Logical device name=Data 1", "Size=100 MB"}));
  EXPECT_EQ(Pairs(core.LDs.Item(0).Segments), (Lines{"Segment 0=Present (0,0) WD-1"}));
  EXPECT_EQ(core.LDs.Item(1).Number, "2");
  EXPECT_EQ(Pairs(core.LDs.Item(1).Info), (Lines{"Logical Device name=Two", "RAID level=5"}));
}

TEST(ConfigParser, NumberTextsAreNormalisedOrRejected) {
  struct Row {
    const char* number_line;
    const char* number;  // "" when the block is dropped
  } rows[] = {
      {"Logical device number 7", "7"},
      {"Logical device number 007", "7"},
      {"Logical device number -3", "-3"},
      {"Logical device number  4", "4"},   // leading blanks are accepted by ToInt
      {"Logical device number 4 ", ""},    // trailing blank: not an integer
      {"Logical device number 99999999999", ""},
      {"Logical device number 1a", ""},
  };
  for (const Row& row : rows) {
    TKVCore core;
    ParseConfig(std::string("Logical device information\n") + row.number_line +
                "\n   RAID level : 5\n", core);
    if (*row.number == '\0') {
      EXPECT_EQ(core.LDs.Count(), 0) << row.number_line;
    } else {
      ASSERT_EQ(core.LDs.Count(), 1) << row.number_line;
      EXPECT_EQ(core.LDs.Item(0).Number, row.number) << row.number_line;
    }
  }
}

TEST(ConfigParser, PhysicalDevicesByKindWithEnclosureStatusBlock) {
  TKVCore core;
  ParseConfig(
      "Physical Device information\n"
      "      Device #0\n"
      "         Device is a Hard drive\n"
      "         State                              : Online\n"
      "         Reported Channel,Device(T:L)       : 0,0(0:0)\n"
      "      Device #1\n"
      "         Device is a CD-ROM\n"  // neither enclosure nor drive: contributes nothing
      "         Vendor                             : TEAC\n"
      "      Device #2\n"
      "         Device is an Enclosure services device\n"
      "         Enclosure ID                       : 0\n"
      "         Status of Enclosure services device\n"
      "            Temperature                     : 31 C\n"
      "      Device #3\n"
      "         State                              : Online\n"  // before "Device is": dropped
      "         Device is a Hard drive\n"
      "         Serial number                      : S3\n"
      "      Device #x\n"
      "         Device is a Hard drive\n"
      "         Serial number                      : LOST\n", core);
  ASSERT_EQ(core.HDDs.Count(), 2);
  EXPECT_EQ(core.HDDs.Item(0).Number, "0");
  EXPECT_EQ(Pairs(core.HDDs.Item(0).Info),
            (Lines{"State=Online", "Reported Channel,Device(T:L)=0,0(0:0)"}));
  EXPECT_EQ(core.HDDs.Item(1).Number, "3");
  EXPECT_EQ(Pairs(core.HDDs.Item(1).Info), (Lines{"Serial number=S3"}));
  ASSERT_EQ(core.Enclosures.Count(), 1);
  EXPECT_EQ(core.Enclosures.Item(0).Number, "2");
  EXPECT_EQ(Pairs(core.Enclosures.Item(0).Info), (Lines{"Enclosure ID=0"}));
  EXPECT_EQ(Pairs(core.Enclosures.Item(0).StatusInfo), (Lines{"Temperature=31 C"}));
}

TEST(ConfigParser, ZepCacheDevicesWithSegments) {
  TKVCore core;
  ParseConfig(
      "zepCache 3.0 information\n"
      "zepCache device number 100\n"
      "   zepCache device name                     : ZepCache 0\n"
      "   Logical Device segment information\n"
      "   Segment 0                                : Present (Connector:1, Device:0) BT1\n"
      "zepCache device number abc\n"
      "   Size                                     : 1 MB\n", core);
  ASSERT_EQ(core.ZepLDs.Count(), 1);
  EXPECT_EQ(core.ZepLDs.Item(0).Number, "100");
  EXPECT_EQ(Pairs(core.ZepLDs.Item(0).Info), (Lines{"zepCache device name=ZepCache 0"}));
  EXPECT_EQ(Pairs(core.ZepLDs.Item(0).Segments),
            (Lines{"Segment 0=Present (Connector:1, Device:0) BT1"}));
}

TEST(ConfigParser, OnlyTheFirstColonBlankSplitsAndAnyLineEndWorks) {
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    TKVCore core;
    const std::string e = eol;
    ParseConfig("Controller information" + e +
                "   Reported Channel,Device(T:L)   : 0,0(0:0)" + e +
                "   Time : 12:30: 00" + e + "   Empty value                 : " + e, core);
    EXPECT_EQ(Pairs(core.ControllerInfo),
              (Lines{"Reported Channel,Device(T:L)=0,0(0:0)", "Time=12:30: 00", "Empty value="}))
        << "line end " << (e == "\n" ? "LF" : e == "\r" ? "CR" : "CRLF");
  }
}

TEST(ConfigParser, ParsingTwiceAppendsToTheSameBlocks) {
  TKVCore core;
  const std::string text =
      "Physical Device information\n      Device #5\n         Device is a Hard drive\n"
      "         State : Online\n";
  ParseConfig(text, core);
  ParseConfig(text, core);
  ASSERT_EQ(core.HDDs.Count(), 1);
  EXPECT_EQ(core.HDDs.Item(0).Info.Count(), 2);
}

}  // namespace
}  // namespace kv

// The state report writer on models built by hand: the exact text of an empty model, and
// the rules that decide which sections and keys a model produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "report/state_report.h"

namespace kv {
namespace {

TStringList Report(const TKVCore& core, const std::string& version = "1.0.0.1") {
  TStringList lines = {"left over from the previous cycle"};
  WriteStateReport(core, version, lines);
  return lines;
}

std::string Text(const TStringList& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The lines from `header` up to (not including) the next section header or blank line.
TStringList Block(const TStringList& lines, const std::string& header, int occurrence = 0) {
  auto it = lines.begin();
  for (int seen = -1; seen < occurrence; ++seen) {
    it = std::find(it == lines.begin() ? it : it + 1, lines.end(), header);
    if (it == lines.end()) return {};
  }
  TStringList block;
  for (++it; it != lines.end() && !it->empty() && (*it)[0] != '['; ++it) block.push_back(*it);
  return block;
}

bool Has(const TStringList& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TResultHDD& AddDrive(TKVCore& core, const std::string& channel, const std::string& id) {
  TResultHDD& hdd = core.Result.HDDs.Add();
  hdd.Channel = channel;
  hdd.DeviceId = id;
  return hdd;
}

TEST(StateReport, EmptyModelIsExactlyTheFixedSkeleton) {
  TKVCore core;
  const std::string expected =
      "[main]\nversion=2.5.0.17\n\n"
      "[controller]\nstate=\nmode=\nmodel=\nch_desc=\nsn=\ntemperature=\nmemory=\ndata=\n"
      "versions=\n\n"
      "[bbu]\nstate=\ntype=\noveral=\ntemp=\nremain_persent=\nremain_time=\novertemp=\ndata=\n"
      "\n\n\n\n\n";
  EXPECT_EQ(Text(Report(core, "2.5.0.17")), expected);
}

TEST(StateReport, ControllerAndBackupUnitKeysCarryTheirFields) {
  TKVCore core;
  TResultController& c = core.Result.Controller;
  c.Status = "Optimal";
  c.Mode = "RAID (Expose RAW)";
  c.Model = "Korvane 7805";
  c.ChannelDescription = "SAS/SATA";
  c.SerialNumber = "3C21A1B2";
  c.Temperature = "51 C/ 123 F (Normal)";
  c.InstalledMemory = "1024 MB";
  c.Lines = {"Controller Status: Optimal", "Installed memory: 1024 MB"};
  c.VersionLines = {"BIOS: 7.5-0 (32033)"};
  c.BBUStatus = "Optimal";
  c.BBUUnitType = "ZMM";
  c.BBUOverallStatus = "Ready";
  c.BBUCurrentTemperature = "29 deg C";
  c.BBUCapacityRemaining = "100 percent";
  c.BBUTimeRemaining = "3 days";
  c.BBUOverTemperature = "No";
  c.BBULines = {"Status: Optimal"};
  const TStringList lines = Report(core);
  EXPECT_EQ(Block(lines, "[controller]"),
            (TStringList{"state=Optimal", "mode=RAID (Expose RAW)", "model=Korvane 7805",
                         "ch_desc=SAS/SATA", "sn=3C21A1B2", "temperature=51 C/ 123 F (Normal)",
                         "memory=1024 MB",
                         "data=Controller Status: Optimal||||Installed memory: 1024 MB||||",
                         "versions=BIOS: 7.5-0 (32033)||||"}));
  EXPECT_EQ(Block(lines, "[bbu]"),
            (TStringList{"state=Optimal", "type=ZMM", "overal=Ready", "temp=29 deg C",
                         "remain_persent=100 percent", "remain_time=3 days", "overtemp=No",
                         "data=Status: Optimal||||"}));
}

TEST(StateReport, JoinLinesFoldsEveryLineEnd) {
  struct Case {
    TStringList lines;
    std::string joined;
  };
  const Case cases[] = {
      {{}, ""},
      {{"x", "y"}, "x||||y||||"},
      {{""}, "||||"},
      {{"", ""}, "||||||||"},
      {{"a\r"}, "a\r||||"},           // a stray CR stays; the added CR LF folds
      {{"a\r\nb"}, "a||||b||||"},     // a CR LF inside a line folds too
      {{"k=v]", "[x]"}, "k=v]||||[x]||||"},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinLines(c.lines), c.joined);
}

TEST(StateReport, DatesAreDayMonthYearFromUnsignedSeconds) {
  struct Case {
    uint32_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "01.01.1970 00:00:00"},
      {86399, "01.01.1970 23:59:59"},
      {951782400, "29.02.2000 00:00:00"},
      {1700000000, "14.11.2023 22:13:20"},
      {4102444800u, "01.01.2100 00:00:00"},  // 2100 is not a leap year
      {4294967295u, "07.02.2106 06:28:15"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatReportDate(c.seconds), c.text) << c.seconds;
}

TEST(StateReport, MemberSectionsSkipUnmatchedEntriesButKeepTheirNumber) {
  TKVCore core;
  AddDrive(core, "0", "0");
  AddDrive(core, "0", "1");
  AddDrive(core, "1", "7");
  TResultLD& ld = core.Result.LDs.Add();
  ld.Number = "0";
  ld.Name = "Data";
  ld.Members.Add(-1, 0);
  ld.Members.Add(2, 0);
  ld.Members.Add(5, 0);  // past the drive list: id only
  const TStringList lines = Report(core);
  EXPECT_EQ(Block(lines, "[ld_0]").back(), "hdds=3");
  EXPECT_FALSE(Has(lines, "[ld_0_0]"));
  EXPECT_EQ(Block(lines, "[ld_0_1]"), (TStringList{"id=2", "hdd_id=7", "hdd_channel=1"}));
  EXPECT_EQ(Block(lines, "[ld_0_2]"), (TStringList{"id=5"}));
}

TEST(StateReport, DriveMembershipListsEveryDeviceAndFallsBackToZepCache) {
  TKVCore core;
  for (int i = 0; i < 4; ++i) AddDrive(core, "0", std::to_string(i));
  TResultLD& a = core.Result.LDs.Add();
  a.Number = "0";
  a.Name = "System";
  a.UniqueId = "AAAA";
  a.Members.Add(0, 0);
  a.Members.Add(1, 0);
  TResultLD& b = core.Result.LDs.Add();
  b.Number = "1";
  b.Name = "Data";
  b.UniqueId = "data__raid_5";
  b.Members.Add(1, 0);
  b.Members.Add(99, 0);  // past the drive list
  b.Members.Add(1, 0);   // the serial was on two segment lines: one triple each
  TResultZepLD& zep = core.Result.ZepLDs.Add();
  zep.Number = "100";
  zep.DeviceName = "Cache";
  zep.UniqueId = "cache__raid_0";
  zep.Members.Add(1, 0);  // drive 1 is in logical devices: no zepCache search
  zep.Members.Add(2, 0);
  const TStringList lines = Report(core);

  struct Case {
    const char* section;
    TStringList membership;
  };
  const Case cases[] = {
      {"[hdd_0]", {"ld=System", "ld_number=0", "ld_uniq=AAAA"}},
      {"[hdd_1]",
       {"ld=System", "ld_number=0", "ld_uniq=AAAA", "ld=Data", "ld_number=1",
        "ld_uniq=data__raid_5", "ld=Data", "ld_number=1", "ld_uniq=data__raid_5"}},
      {"[hdd_2]", {"ld=Cache", "ld_number=100", "ld_uniq=cache__raid_0", "ld_is_zepcache=1"}},
      {"[hdd_3]", {}},
  };
  for (const Case& c : cases) {
    TStringList block = Block(lines, c.section);
    ASSERT_GE(block.size(), 14u) << c.section;
    // Between smart_state= and data=.
    TStringList membership(block.begin() + 13, block.end() - 1);
    EXPECT_EQ(membership, c.membership) << c.section;
    EXPECT_EQ(block.back().rfind("data=", 0), 0u);
  }
}

TEST(StateReport, DrivesInEnclosuresAndEnclosureSlots) {
  TKVCore core;
  AddDrive(core, "0", "4");
  TResultHDD& outside = AddDrive(core, "0", "5");
  TResultEnclosure& enc = core.Result.Enclosures.Add();
  enc.Vendor = "KORVANE";
  enc.Temperature = "31 C";
  enc.Id = "0";
  enc.Lines = {"Vendor: KORVANE"};
  enc.StatusLines = {"Temperature: 31 C", "Fan 0: Okay"};
  enc.Slots.Add(0, 3);
  enc.Slots.Add(-1, 4);
  enc.Slots.Add(9, 6);
  core.Result.HDDs.Item(0).Enclosure = &enc;
  (void)outside;
  const TStringList lines = Report(core);
  TStringList inside = Block(lines, "[hdd_0]");
  EXPECT_EQ(TStringList(inside.begin() + 9, inside.begin() + 12),
            (TStringList{"enclosure=1", "enclosure_id=0", "channel=0"}));
  TStringList other = Block(lines, "[hdd_1]");
  EXPECT_EQ(other[9], "channel=0");  // no enclosure=0 line
  EXPECT_EQ(Block(lines, "[enc_0]"),
            (TStringList{"vendor=KORVANE", "temperature=31 C", "id=0", "values=Vendor: KORVANE||||",
                         "status=Temperature: 31 C||||Fan 0: Okay||||", "hdds=3"}));
  EXPECT_EQ(Block(lines, "[enc_0_0]"),
            (TStringList{"id=0", "hdd_id=4", "hdd_channel=0", "slot=3"}));
  EXPECT_FALSE(Has(lines, "[enc_0_1]"));
  EXPECT_EQ(Block(lines, "[enc_0_2]"), (TStringList{"id=9", "slot=6"}));
}

TEST(StateReport, SectionsAndBlankLinesStayInTheirPlaces) {
  TKVCore core;
  AddDrive(core, "0", "0").Lines = {"State: Online"};
  TResultLD& ld = core.Result.LDs.Add();
  ld.Number = "0";
  ld.Members.Add(0, 0);
  TKVTaskItem& task = core.Tasks.Add();
  task.TaskId = "101";
  task.LogicalDevice = "0";
  task.CurrentOperation = "Rebuild";
  task.Status = "In Progress";
  task.PercentageComplete = "45";
  core.Result.Enclosures.Add().Id = "0";
  const std::string text = Text(Report(core));
  const std::string tail = text.substr(text.find("[bbu]"));
  const std::string expected =
      "[bbu]\nstate=\ntype=\noveral=\ntemp=\nremain_persent=\nremain_time=\novertemp=\ndata=\n"
      "\n"
      "[ld]\ncount=1\n\n"
      "[ld_0]\nnumber=0\nname=\nlevel=\nstate=\nsize=\nuniq_parce=0\nuniq=\nrc_settings=\n"
      "rc_status=\nwc_settings=\nwc_status=\ndata=\nhdds=1\n[ld_0_0]\nid=0\nhdd_id=0\n"
      "hdd_channel=0\n\n"
      "\n\n"
      "[task]\ncount=1\n\n"
      "[task_0]\nid=101\nld=0\noperate=Rebuild\nstate=In Progress\npersent=45\n\n"
      "\n"
      "[hdds]\ncount=1\n\n"
      "[hdd_0]\nstate=\ninter=\nvendor=\nmodel=\nsn=\nfw=\nwwn=\nsize=\nwc=\nchannel=0\nid=0\n"
      "temperature=\nsmart_state=\nld=\nld_number=0\nld_uniq=\ndata=State: Online||||\n\n"
      "\n"
      "[enclosures]\ncount=1\n\n"
      "[enc_0]\nvendor=\ntemperature=\nid=0\nvalues=\nstatus=\nhdds=0\n\n"
      "\n[hdd_smart]\ncount=1\n\n"
      "\n";
  EXPECT_EQ(tail, expected);
}

TEST(StateReport, CacheStatisticsOnlyForTheControllersRecord) {
  struct Case {
    const char* name;
    std::string record_serial;
    int32_t pages;
    bool ssd;
    bool written;
  };
  const Case cases[] = {
      {"other controller", "ZZZ999", 10, true, false},
      {"matching, no ssd pages, no ssd activity", "ab12cd", 0, false, true},
      {"matching, ssd pages and activity", "ab12cd", 7, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TKVCore core;
    core.Result.Controller.SerialNumber = " AB12CD ";
    core.Stats.Time = 1000;
    core.Stats.SecondsSinceLastUpdate = 100;
    TKVStatsCacheItem& r = core.StatsCache.Add();
    r.SerialNumber = c.record_serial;
    r.StatsVersion = "2";
    r.Time = 5000;
    r.SecondsSinceLastUpdate = 300;
    r.SsdCachePages = c.pages;
    r.PagesOnFetchList = 1;
    r.PagesOnDirtyList = 2;
    r.PagesOnFailedList = 0;
    r.FetchCandidates = 3;
    r.CandidateReplacements = 4;
    r.UncachedReads = "11";
    r.UncachedWrites = "12";
    r.DramFullHitReads = "21";
    r.DramWaitHitReads = "22";
    r.DramHybridHitReads = "23";
    r.DramCacheWrites = "24";
    r.DramFlushWaitWrites = "25";
    r.DramCacheFlushes = "26";
    r.SsdHitReads = "31";
    r.SsdHitWrites = "32";
    r.SsdPageUpdates = "33";
    r.SsdPageDirectAllocations = "34";
    r.SsdFetches = "35";
    r.SsdFlushes = "36";
    r.SsdCacheValidPages = "37";
    r.SsdCacheDirtyPages = "38";
    r.HasSsdActivity = c.ssd;
    const TStringList lines = Report(core);
    auto header = std::find(lines.begin(), lines.end(), "[stats_all]");
    if (!c.written) {
      EXPECT_EQ(header, lines.end());
      continue;
    }
    ASSERT_NE(header, lines.end());
    EXPECT_TRUE((header - 1)->empty());
    TStringList expected = {"start_stats=4700", "start_stats_date=01.01.1970 00:15:00",
                            "scince_stats=300", "statsversion=2", "uncachedReads=11",
                            "uncachedWrites=12"};
    if (c.pages > 0)
      expected.insert(expected.end(),
                      {"ssdCachePages=7", "pagesOnFetchList=1", "pagesOnDirtyList=2",
                       "pagesOnFailedList=0", "fetchCandidates=3", "candidateReplacements=4"});
    expected.insert(expected.end(),
                    {"dramFullHitReads=21", "dramWaitHitReads=22", "dramHybridHitReads=23",
                     "dramCacheWrites=24", "dramFlushWaitWrites=25", "dramCacheFlushes=26"});
    if (c.ssd)
      expected.insert(expected.end(),
                      {"ssd_use=1", "ssdHitReads=31", "ssdHitWrites=32", "ssdPageUpdates=33",
                       "ssdPageDirectAllocations=34", "ssdFetches=35", "ssdFlushes=36",
                       "ssdCacheValidPages=37", "ssdCacheDirtyPages=38"});
    else
      expected.push_back("ssd_use=0");
    EXPECT_EQ(Block(lines, "[stats_all]"), expected);
    EXPECT_TRUE((header + 1 + static_cast<long>(expected.size()))->empty());
  }
}

TEST(StateReport, StatisticsTimesWrapLikeTheControllersCounters) {
  TKVCore core;
  core.Result.Controller.SerialNumber = "s1";
  // The controller log's clock just after the 32-bit wrap: the difference wraps back.
  core.Stats.Time = 5;
  core.Stats.SecondsSinceLastUpdate = 10;
  TKVStatsCacheItem& r = core.StatsCache.Add();
  r.SerialNumber = "s1";
  r.Time = -1;  // 4294967295 seconds as the controller counts them
  r.SecondsSinceLastUpdate = -20;
  const TStringList block = Block(Report(core), "[stats_all]");
  ASSERT_GE(block.size(), 3u);
  EXPECT_EQ(block[0], "start_stats=4294967315");
  EXPECT_EQ(block[1], "start_stats_date=07.02.2106 06:28:11");
  EXPECT_EQ(block[2], "scince_stats=-20");
}

TEST(StateReport, TrafficKeysOnlyForLogicalDevicesWithStatistics) {
  struct Case {
    std::string read, read_unit, write, write_unit;
    std::string read_mb, write_mb;
  };
  const Case cases[] = {
      {"12", "GB", "700", "MB", "12288", "700"},
      {"2", "TB", "1536", "KB", "2097152", "2"},
      {"512", "KB", "0", "MB", "0", ""},  // half a megabyte rounds to even; zero is empty
      {"", "", "1.5", "GB", "", "1536"},
      {".", "GB", "7", "", "", "7"},  // a number part without digits is no number
  };
  for (const Case& c : cases) {
    TKVCore core;
    TResultLD& with = core.Result.LDs.Add();
    with.Number = "3";
    core.Result.LDs.Add().Number = "4";
    TKVStatsLDP ldp;
    ldp.Id = 3;
    ldp.BlocksRead = c.read;
    ldp.BlocksReadUnit = c.read_unit;
    ldp.BlocksWritten = c.write;
    ldp.BlocksWrittenUnit = c.write_unit;
    core.Stats.LDStats.Add(ldp);
    const TStringList lines = Report(core);
    TStringList block = Block(lines, "[ld_0]");
    ASSERT_EQ(block.size(), 19u);
    EXPECT_EQ(TStringList(block.begin() + 12, block.end()),
              (TStringList{"stat_read_value=" + c.read, "stat_read_unit=" + c.read_unit,
                           "stat_read_mb=" + c.read_mb, "stat_write_value=" + c.write,
                           "stat_write_unit=" + c.write_unit, "stat_write_mb=" + c.write_mb,
                           "hdds=0"}));
    EXPECT_EQ(Block(lines, "[ld_1]").size(), 13u);  // no statistics entry for device 4
  }
}

// SATA attribute names resolve through the drive's own description names, then the known
// names of the embedded table, then "Unknown attribute"; the numbers are shared by all drives.
TEST(StateReport, SmartSectionsAndSharedAttributeNames) {
  // The known-name table as shipped holds 194 but, past its count, not 232.
  TKVCore core;
  core.SmartNames = std::make_shared<const TKVSmartNamesList>(
      "[main]\ncount=2\n[p0]\nid=9\nname=Power-On Hours (POH)\n[p1]\nid=194\n"
      "name=HDA temperature\n[p2]\nid=232\nname=Available Reserved Space\n");
  AddDrive(core, "0", "1");
  AddDrive(core, "0", "2");
  AddDrive(core, "1", "0");  // no SMART data
  auto& sata1 = *core.SATASmartParams.FindOrAdd("0", "1").Params;
  sata1.Add("c2", "100", "100", "38");
  sata1.Add("e8", "99", "99", "0");
  sata1.Add("fe", "1", "1", "0");
  sata1.Add("09", "97", "97", "1200");
  auto& sata2 = *core.SATASmartParams.FindOrAdd("0", "2").Params;
  sata2.Add("e8", "90", "90", "5");
  sata2.Add("c2", "100", "100", "40");
  core.SASSmartParams.FindOrAdd("0", "2").Params->Add("Elements in grown defect list", "0");
  // Drive 0/1 names attributes 232 and 9 itself; drive 0/2 names none.
  core.SmartDescNames.AddIfNew(1, 0, 232, "Available Reserved Space");
  core.SmartDescNames.AddIfNew(1, 0, 9, "Power On Hours Custom");
  const TStringList lines = Report(core);

  EXPECT_EQ(Block(lines, "[hdd_smart]"), (TStringList{"count=3"}));
  EXPECT_EQ(Block(lines, "[hdd_smart_0]"), (TStringList{"channel=0", "id=1", "smart_sata=1"}));
  EXPECT_EQ(Block(lines, "[hdd_smart_0_0]"),
            (TStringList{"id=194", "hex=c2", "current=100", "worst=100", "raw=38", "name=0"}));
  EXPECT_EQ(Block(lines, "[hdd_smart_0_3]"),
            (TStringList{"id=9", "hex=09", "current=97", "worst=97", "raw=1200", "name=3"}));
  struct Case {
    const char* section;
    const char* name;
  };
  const Case names[] = {{"[hdd_smart_0_1]", "name=1"}, {"[hdd_smart_0_2]", "name=2"},
                        {"[hdd_smart_1_0]", "name=2"},   // 232: no description, not in table
                        {"[hdd_smart_1_1]", "name=0"}};  // 194 shared with drive 0
  for (const Case& c : names) EXPECT_EQ(Block(lines, c.section).back(), c.name) << c.section;
  // Both kinds on one drive: two sections of one name, the SAS one last.
  EXPECT_EQ(Block(lines, "[hdd_smart_1]", 1), (TStringList{"channel=0", "id=2", "smart_sata=0"}));
  EXPECT_EQ(Block(lines, "[hdd_smart_1_0]", 1),
            (TStringList{"name=Elements in grown defect list", "value=0"}));
  EXPECT_FALSE(Has(lines, "[hdd_smart_2]"));

  const TMemIniFile ini(Text(lines));
  EXPECT_EQ(ini.ReadString("hdd_smart_1", "smart_sata", "?"), "0");
  EXPECT_EQ(ini.ReadInteger("hdd_smart_desc", "count", -1), 4);
  // The report ends with the name table: blank, header, count, then blank + section each.
  const std::size_t table = lines.size() - 15;
  EXPECT_EQ(TStringList(lines.begin() + static_cast<long>(table), lines.end()),
            (TStringList{"", "[hdd_smart_desc]", "count=4", "", "[hdd_smart_desc_0]",
                         "name=HDA temperature", "", "[hdd_smart_desc_1]",
                         "name=Available Reserved Space", "", "[hdd_smart_desc_2]",
                         "name=Unknown attribute", "", "[hdd_smart_desc_3]",
                         "name=Power On Hours Custom"}));
}

TEST(StateReport, ReadersFindTheDrivesThroughTheIniRules) {
  TKVCore core;
  TResultHDD& hdd = AddDrive(core, "0", "3");
  hdd.Model = "KV=2000 [x]";  // "=" and "]" inside a value are harmless
  hdd.Lines = {"Model: KV=2000 [x]", "Serial number: S1"};
  const TMemIniFile ini(Text(Report(core)));
  EXPECT_EQ(ini.ReadInteger("hdds", "count", -1), 1);
  EXPECT_EQ(ini.ReadString("hdd_0", "model", ""), "KV=2000 [x]");
  EXPECT_EQ(ini.ReadString("hdd_0", "data", ""), "Model: KV=2000 [x]||||Serial number: S1||||");
  EXPECT_FALSE(ini.SectionExists("ld"));
}

}  // namespace
}  // namespace kv

// Every real configuration listing and task status in the shared fixtures goes through
// ParseConfig/ParseTasks, BuildResult and the state report writer. For each listing the table records what the
// parser finds and what a person reading the listing sees. Where the two differ, the
// parser's rule is kept as it is and the row names the rule that loses the data (a known
// gap, for the firmware generations the parser does not read yet).
//
// How the "seen" counts were taken: logical devices are the "Logical device/drive number N"
// lines, zepCache devices the "zepCache device number N" lines, drives the "Device is a
// Hard drive" lines, enclosures the "Device is an Enclosure services device" lines;
// drives in enclosures are "Reported Location : Enclosure N, Slot M" values naming an
// existing "Enclosure ID"; members are segment (or array device) rows whose serial equals
// a drive's "Serial number" (redacted serials cannot be matched by anyone); channels are
// the drives' "Reported Channel,Device" lines. Each count was checked against the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/kv_core.h"
#include "parse/config_log_recorder.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

fs::path RealDir() { return fs::path(KV_FIXTURES_DIR) / "real"; }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct TCounts {
  int lds, zeps, drives, enclosures, in_enclosure, members, channels;
  bool operator==(const TCounts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TCounts& c) {
  return out << "ld=" << c.lds << " zep=" << c.zeps << " hdd=" << c.drives
             << " enc=" << c.enclosures << " in_enc=" << c.in_enclosure
             << " members=" << c.members << " channels=" << c.channels;
}

TCounts Count(const TKVCore& core) {
  TCounts c{core.Result.LDs.Count(), core.Result.ZepLDs.Count(), core.Result.HDDs.Count(),
            core.Result.Enclosures.Count(), 0, 0, 0};
  for (const TResultHDD& d : core.Result.HDDs) {
    if (d.Enclosure != nullptr) ++c.in_enclosure;
    if (!d.Channel.empty()) ++c.channels;
  }
  for (const TResultLD& ld : core.Result.LDs) c.members += ld.Members.Count();
  for (const TResultZepLD& z : core.Result.ZepLDs) c.members += z.Members.Count();
  return c;
}

struct TListingRow {
  const char* file;
  TCounts found;
  TCounts seen;
  const char* gap;  // the rule that loses data when found != seen
};

const TListingRow kListings[] = {
    {"01-sr8kl-a.txt", {1, 0, 2, 1, 2, 2, 2}, {1, 0, 2, 1, 2, 2, 2}, ""},
    {"03-6405-verify.txt", {1, 0, 4, 0, 0, 0, 4}, {1, 0, 4, 0, 0, 0, 4}, ""},
    {"06-3154-16i.txt", {2, 0, 14, 1, 0, 0, 14}, {2, 0, 14, 1, 0, 14, 14},
     "lines 271-312: members are 'Array Physical Device Information' rows "
     "'Device N : Present (...) serial'; only pairs after a 'logical device segment "
     "information' line are segments"},
    {"08-6805q-ssdcache.txt", {1, 0, 8, 0, 0, 7, 8}, {1, 0, 8, 0, 0, 7, 8}, ""},
    {"09-71605-caps.txt", {1, 0, 16, 1, 16, 16, 16}, {1, 0, 16, 1, 16, 16, 16}, ""},
    {"11-6805e-degraded.txt", {2, 0, 8, 0, 0, 7, 8}, {2, 0, 8, 0, 0, 7, 8}, ""},
    {"12-8885q-impacted.txt", {2, 1, 21, 2, 0, 21, 21}, {2, 1, 21, 2, 18, 21, 21},
     "line 328 on: 'Enclosure 0, Slot 0(Connector 0)'; a slot with more after the number "
     "gives no slot"},
    {"15-6405-rebuilding.txt", {1, 0, 4, 1, 4, 0, 4}, {1, 0, 4, 1, 4, 0, 4}, ""},
    {"18-6405-spares-partial.txt", {3, 0, 18, 1, 18, 16, 18}, {3, 0, 18, 1, 18, 16, 18}, ""},
    {"20-sr8kl-offline.txt", {0, 0, 6, 1, 6, 0, 6}, {1, 0, 6, 1, 6, 5, 6},
     "line 35: 'Logical drive information' is not a heading, so the logical drive's pairs "
     "(lines 37-57) land in the backup unit list, where 'Status of logical drive : Offline' "
     "overwrites the battery status; no logical device, no members"},
    {"24-hba1100.txt", {0, 0, 7, 1, 0, 0, 7}, {0, 0, 7, 1, 0, 0, 7}, ""},
    {"26-ld-only.txt", {2, 0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0, 0}, ""},
    {"29-sr8kl.txt", {0, 0, 4, 1, 0, 0, 4}, {1, 0, 4, 1, 0, 0, 4},
     "line 35: 'Logical drive information' / line 37 'Logical drive number 1' are not "
     "recognised; the pairs land in the backup unit list"},
    {"34-ld-current.txt", {1, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0}, ""},
    {"36-pd-current.txt", {0, 0, 6, 0, 0, 0, 6}, {0, 0, 6, 0, 0, 0, 6}, ""},
    {"38-pd-enclosure.txt", {0, 0, 12, 1, 0, 0, 12}, {0, 0, 12, 1, 12, 0, 12},
     "line 12 on: 'Enclosure 0, Slot 0( Connector Unknown )'; a slot with more after the "
     "number gives no slot"},
    {"39-ld-degraded.txt", {1, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0}, ""},
    {"41-6805-ad.txt", {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, ""},
    {"44-sr8i.txt", {0, 0, 12, 2, 12, 0, 12}, {2, 0, 12, 2, 12, 12, 12},
     "line 39: 'Logical drive information' / 'Logical drive number 0' are not recognised; "
     "both logical drives land in the backup unit list. Both enclosures report ID 0, so "
     "all 12 drives go to the first one"},
    {"46-8805-pd.txt", {0, 0, 8, 0, 0, 0, 8}, {0, 0, 8, 0, 0, 0, 8}, ""},
    {"50-3405-ld0.txt", {1, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0}, ""},
    {"52-71605-hba.txt", {0, 0, 4, 0, 0, 0, 4}, {0, 0, 4, 0, 0, 0, 4}, ""},
    {"53-5805-bat.txt", {2, 0, 8, 1, 4, 16, 8}, {2, 0, 8, 1, 4, 16, 8}, ""},
    {"55-71605-fw72.txt", {2, 0, 12, 1, 12, 24, 12}, {2, 0, 12, 1, 12, 24, 12}, ""},
    {"57-5805z-jbod.txt", {1, 0, 8, 0, 0, 8, 8}, {1, 0, 8, 0, 0, 8, 8}, ""},
};

TEST(RealListings, EveryConfigurationListingParsesToTheRecordedCounts) {
  const fs::path dir = RealDir() / "config";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.path().extension() == ".txt";
  EXPECT_EQ(files, static_cast<int>(std::size(kListings))) << "a listing has no row";
  for (const TListingRow& row : kListings) {
    SCOPED_TRACE(row.file);
    TCoreLogRecorder log;
    TKVCore core;
    core.ParseConfig(ReadAll(dir / row.file));
    core.BuildResult();
    EXPECT_EQ(Count(core), row.found);
    if (row.found == row.seen)
      EXPECT_STREQ(row.gap, "") << "no gap left: drop the note";
    else
      EXPECT_STRNE(row.gap, "") << "found " << row.found << " but a reader sees " << row.seen;
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    TStringList report;
    core.WriteStateReport("1.0.0.1", report);
    EXPECT_FALSE(report.empty());
  }
}

TEST(RealListings, SampledFieldsAreRead) {
  const fs::path dir = RealDir() / "config";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  {
    TKVCore core;
    core.ParseConfig(ReadAll(dir / "12-8885q-impacted.txt"));
    core.BuildResult();
    const TResultController& c = core.Result.Controller;
    EXPECT_EQ(c.Mode, "RAID (Expose RAW)");
    EXPECT_EQ(c.Model, "Korvane KVR8885Q");
    EXPECT_EQ(c.SerialNumber, "6G24636ABB1");
    EXPECT_EQ(c.BBUOverallStatus, "Ready");
    EXPECT_EQ(c.BBUUnitType, "AFM-700/700LP");
    EXPECT_EQ(c.BBUCurrentTemperature, "31 deg C");
    const TResultLD& ld = core.Result.LDs.Item(0);
    EXPECT_EQ(ld.UniqueId, "A875F532");
    EXPECT_EQ(ld.Status, "Impacted ( Build/Verify with fix : 90 % )");
    EXPECT_EQ(ld.RaidLevel, "6 Reed-Solomon");
    const TResultZepLD& zep = core.Result.ZepLDs.Item(0);
    EXPECT_EQ(zep.Number, "100");
    EXPECT_EQ(zep.Status, "Optimal");
    EXPECT_EQ(zep.Members.Count(), 3);
    const TResultHDD& d0 = core.Result.HDDs.Item(0);
    EXPECT_EQ(d0.Channel, "0");
    EXPECT_EQ(d0.DeviceId, "4");
    EXPECT_EQ(d0.Size, "190600 MB");
    EXPECT_EQ(d0.SerialNumber, "BTTV605101CU200GGN");
  }
  {
    TKVCore core;
    core.ParseConfig(ReadAll(dir / "01-sr8kl-a.txt"));
    core.BuildResult();
    EXPECT_EQ(core.Result.Controller.Model, "IBM ServeRAID 8k-l");  // trailing blanks trimmed
    EXPECT_EQ(core.Result.Controller.BBUStatus, "Not Installed");
    EXPECT_EQ(core.Result.LDs.Item(0).UniqueId, "__1");  // empty name, level 1
    EXPECT_EQ(core.Result.Enclosures.Item(0).Temperature, "Normal");
    EXPECT_EQ(core.Result.Enclosures.Item(0).Slots.Count(), 2);
  }
}

TEST(RealListings, EveryTaskStatusParses) {
  const fs::path dir = RealDir() / "task";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  struct Row {
    const char* file;
    std::vector<std::string> tasks;
  } rows[] = {
      {"01-6405-buildverify.txt", {"100|0|Build/Verify|In Progress|11"}},
      {"02-8885q-verifyfix.txt", {"101|0|Build/Verify with fix|In Progress|90"}},
      {"04-compact-rebuild.txt",
       {"102|0|Compacting|In Progress|9", "103|1|Rebuild|In Progress|3"}},
      {"05-none-2ctrl.txt", {}},
  };
  for (const Row& row : rows) {
    TKVCore core;
    core.ParseTasks(ReadAll(dir / row.file));
    std::vector<std::string> found;
    for (int i = 0; i < core.Tasks.Count(); ++i) {
      const TKVTaskItem& t = core.Tasks.Item(i);
      found.push_back(t.TaskId + "|" + t.LogicalDevice + "|" + t.CurrentOperation + "|" +
                      t.Status + "|" + t.PercentageComplete);
    }
    EXPECT_EQ(found, row.tasks) << row.file;
  }
}

TEST(RealListings, DemoListingHoldsTheWholeDemoController) {
  const fs::path demo = fs::path(KV_SOURCE_DIR) / "examples" / "demo";
  TKVCore core;
  core.ParseConfig(ReadAll(demo / "get_config.txt"));
  core.ParseTasks(ReadAll(demo / "get_tasks.txt"));
  core.BuildResult();
  EXPECT_EQ(Count(core), (TCounts{2, 1, 10, 1, 8, 7, 10}));
  const TResultController& c = core.Result.Controller;
  EXPECT_EQ(c.Mode, "RAID (Expose RAW)");
  EXPECT_EQ(c.Model, "Korvane KVR7805Z");
  EXPECT_EQ(c.BBUStatus, "Optimal");
  EXPECT_EQ(c.BBUOverallStatus, "Ready");
  EXPECT_EQ(core.Result.LDs.Item(0).RaidLevel, "5");
  EXPECT_EQ(core.Result.LDs.Item(1).RaidLevel, "1");
  EXPECT_EQ(core.Result.LDs.Item(1).Status, "Degraded");
  int failed = 0, spares = 0;
  for (const TResultHDD& d : core.Result.HDDs) {
    failed += d.State == "Failed";
    spares += d.State == "Hot Spare";
  }
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(spares, 1);
  ASSERT_EQ(core.Tasks.Count(), 1);
  EXPECT_EQ(core.Tasks.Item(0).LogicalDevice, "1");
  EXPECT_EQ(core.Tasks.Item(0).PercentageComplete, "45");
}

}  // namespace
}  // namespace kv

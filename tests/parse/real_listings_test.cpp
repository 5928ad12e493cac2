// Every real configuration listing and task status in the shared fixtures goes through
// ParseConfig/ParseTasks, BuildResult and the state report writer, and must give what a
// person reading the listing sees.
//
// How the expected values were taken, from the listing text alone: drives are the "Device
// is a Hard drive" lines and channels their "Reported Channel,Device" lines; a device is
// its "Logical device/drive number N" or "zepCache device number N" line with its "Status
// of ..." value, then the member rows it lists (segment rows, "Device N : ..." rows of the
// newest utility, or the old "Drive(s) (Channel,Device)" pairs) that name a drive of the
// listing, and after "+" the rows that say "Missing"; a listing without drives (a partial
// capture) links no member. The enclosures are the "Device is an Enclosure" blocks with
// the number of drives whose location names that enclosure; the backup unit is its
// "Overall Backup Unit Status" or else its "Status".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_log_recorder.h"
#include "parse/config_parser.h"
#include "parse/task_parser.h"
#include "report/state_report.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

fs::path RealDir() { return fs::path(KV_FIXTURES_DIR) / "real"; }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What a reader checks of one listing.
struct TFidelity {
  int drives = 0, channels = 0;
  Texts devices;               // "<status> <members>[+<missing>]", zepCache devices as "zep ..."
  std::vector<int> enclosures;  // drives in each enclosure
  std::string backup_unit;
  bool operator==(const TFidelity&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TFidelity& f) {
  out << "drives=" << f.drives << " channels=" << f.channels << " devices={";
  for (const std::string& d : f.devices) out << "[" << d << "]";
  out << "} enclosures={";
  for (int n : f.enclosures) out << n << ",";
  return out << "} bbu=[" << f.backup_unit << "]";
}

template <class TRecord>
std::string DeviceText(const TRecord& d) {
  std::string text = d.Status + " " + std::to_string(d.Members.Count());
  if (!d.MissingMembers.empty()) text += "+" + std::to_string(d.MissingMembers.size());
  return text;
}

TFidelity Read(const TKVCore& core) {
  TFidelity f;
  f.drives = core.Result.HDDs.Count();
  for (const TResultHDD& d : core.Result.HDDs) f.channels += !d.Channel.empty();
  for (const TResultLD& ld : core.Result.LDs) f.devices.push_back(DeviceText(ld));
  for (const TResultZepLD& z : core.Result.ZepLDs) f.devices.push_back("zep " + DeviceText(z));
  for (const TResultEnclosure& e : core.Result.Enclosures) {
    int drives = 0;
    for (const TResultHDD& d : core.Result.HDDs) drives += d.Enclosure == &e;
    EXPECT_EQ(drives, e.Slots.Count()) << "enclosure " << e.Id;
    f.enclosures.push_back(drives);
  }
  const TResultController& c = core.Result.Controller;
  f.backup_unit = c.BBUOverallStatus.empty() ? c.BBUStatus : c.BBUOverallStatus;
  return f;
}

struct TListingRow {
  const char* file;
  TFidelity seen;
};

const TListingRow kListings[] = {
    {"01-sr8kl-a.txt", {2, 2, {"Optimal 2"}, {2}, "Not Installed"}},
    {"03-6405-verify.txt", {4, 4, {"Optimal 4"}, {}, "ZMM Optimal"}},
    {"06-3154-16i.txt", {14, 14, {"Optimal 2", "Optimal 12"}, {0}, ""}},  // direct attached
    {"08-6805q-ssdcache.txt", {8, 8, {"Optimal 7"}, {}, "ZMM Optimal"}},
    {"09-71605-caps.txt", {16, 16, {"Optimal 16"}, {16}, "Not Present"}},
    {"11-6805e-degraded.txt", {8, 8, {"Optimal 4", "Degraded 4"}, {}, ""}},
    {"12-8885q-impacted.txt",
     {21, 21, {"Impacted ( Build/Verify with fix : 90 % ) 9", "Optimal 9", "zep Optimal 3"}, {6, 12}, "Ready"}},
    {"15-6405-rebuilding.txt", {4, 4, {"Degraded 4"}, {4}, "ZMM not installed"}},
    {"18-6405-spares-partial.txt", {18, 18, {"Optimal 2", "Optimal 7", "Optimal 7"}, {18}, "ZMM Optimal"}},
    {"20-sr8kl-offline.txt", {6, 6, {"Offline 6"}, {6}, "Not Installed"}},
    {"24-hba1100.txt", {7, 7, {}, {0}, ""}},
    {"26-ld-only.txt", {0, 0, {"Optimal 0", "Optimal 0"}, {}, ""}},
    // The enclosure is printed without its Id; the drives name it as enclosure 0.
    {"29-sr8kl.txt", {4, 4, {"Okay 2"}, {4}, "Not Installed"}},
    {"34-ld-current.txt", {0, 0, {"Optimal 0"}, {}, ""}},
    {"36-pd-current.txt", {6, 6, {}, {}, ""}},
    {"38-pd-enclosure.txt", {12, 12, {}, {12}, ""}},
    {"39-ld-degraded.txt", {0, 0, {"Degraded 0+1"}, {}, ""}},
    {"41-6805-ad.txt", {0, 0, {}, {}, "ZMM not installed"}},
    // Every drive and enclosure is printed twice, field for field: the two enclosures
    // cannot be told apart, so all drives stay in the first; the second device's rows name
    // channel 1, where no drive is, and link the copies by serial number.
    {"44-sr8i.txt", {12, 12, {"Okay 6", "Okay 6"}, {12, 0}, "Okay"}},
    {"46-8805-pd.txt", {8, 8, {}, {}, ""}},
    {"50-3405-ld0.txt", {0, 0, {"Degraded 0+1"}, {}, ""}},
    {"52-71605-hba.txt", {4, 4, {}, {}, "Not Ready"}},
    {"53-5805-bat.txt", {8, 8, {"Optimal 8", "Optimal 8"}, {4}, "Optimal"}},
    {"55-71605-fw72.txt", {12, 12, {"Optimal 12", "Optimal 12"}, {12}, "Ready"}},
    {"57-5805z-jbod.txt", {8, 8, {"Optimal 8"}, {}, "ZMM Optimal"}},
};

TEST(RealListings, EveryConfigurationListingReadsAsItsReaderSeesIt) {
  const fs::path dir = RealDir() / "config";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.path().extension() == ".txt";
  EXPECT_EQ(files, static_cast<int>(std::size(kListings))) << "a listing has no row";
  for (const TListingRow& row : kListings) {
    SCOPED_TRACE(row.file);
    TCoreLogRecorder log;
    TKVCore core;
    ParseConfig(ReadAll(dir / row.file), core);
    BuildResult(core);
    EXPECT_EQ(Read(core), row.seen);
    // No drive is listed twice under one enclosure.
    for (const TResultEnclosure& e : core.Result.Enclosures) {
      std::vector<bool> listed(static_cast<size_t>(core.Result.HDDs.Count()), false);
      for (const TIntPair& slot : e.Slots) {
        ASSERT_TRUE(slot.Key >= 0 && slot.Key < core.Result.HDDs.Count());
        EXPECT_FALSE(listed[static_cast<size_t>(slot.Key)]) << "drive " << slot.Key << " twice";
        listed[static_cast<size_t>(slot.Key)] = true;
      }
    }
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    TStringList report;
    WriteStateReport(core, "1.0.0.1", report);
    EXPECT_FALSE(report.empty());
  }
}

TEST(RealListings, SampledFieldsAreRead) {
  const fs::path dir = RealDir() / "config";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  {
    TKVCore core;
    ParseConfig(ReadAll(dir / "12-8885q-impacted.txt"), core);
    BuildResult(core);
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
    ParseConfig(ReadAll(dir / "01-sr8kl-a.txt"), core);
    BuildResult(core);
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
    ParseTasks(ReadAll(dir / row.file), core);
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
  ParseConfig(ReadAll(demo / "get_config.txt"), core);
  ParseTasks(ReadAll(demo / "get_tasks.txt"), core);
  BuildResult(core);
  EXPECT_EQ(Read(core), (TFidelity{10, 10, {"Optimal 4", "Degraded 2", "zep Optimal 2"}, {8}, "Ready"}));
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

#include "collect/scan_list_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "base/local_time_text.h"
#include "collect/changes_journal.h"
#include "collect/controller_cycle.h"
#include "collect/collect_test_support.h"
#include "collect/health_tracker.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "service/temp_folder.h"
#include "test_files.h"

namespace kv {
namespace {

using platform::ConsoleProcessResult;
using test::LogRecorder;

// A stepped clock, canned command outputs, a restart launcher that records, and a main
// loop that nobody runs (unless a test runs it), so ticks happen only when a test calls
// OnTick.
class FakeEnv : public TCollectEnv {
 public:
  int64_t now = 1'700'000'000;
  std::map<std::string, std::string> outputs;
  std::function<void(const std::string&)> on_run;  // called before answering
  std::vector<std::string> runs;
  std::map<std::string, int> exit_codes;  // by command; -1 (the runner cannot tell) for others
  std::map<std::string, ConsoleProcessResult> results;  // by command; else completed when it has an output
  bool restart_program_exists = true;
  std::vector<std::string> file_checks;
  std::vector<std::pair<std::string, std::string>> launches;
  std::string current_folder;
  platform::MainLoop loop;

  int64_t Now() override { return now; }
  ConsoleProcessResult RunCommand(const std::string& command, const platform::ConsoleProcessLimits& limits,
                                  std::string& output) override {
    runs.push_back(command);
    if (limits.exit_code != nullptr) *limits.exit_code = exit_codes.count(command) ? exit_codes[command] : -1;
    if (on_run) on_run(command);
    auto it = outputs.find(command);
    output = it == outputs.end() ? std::string() : it->second;
    if (results.count(command)) return results[command];
    return it == outputs.end() ? ConsoleProcessResult::kStartFailed : ConsoleProcessResult::kCompleted;
  }
  bool FileExists(const std::string& path) override {
    file_checks.push_back(path);
    return restart_program_exists;
  }
  bool LaunchDetached(const std::string& command_line, const std::string& folder) override {
    launches.emplace_back(command_line, folder);
    return true;
  }
  bool SetCurrentFolder(const std::string& folder) override {
    current_folder = folder;
    return true;
  }
  std::string ProgramFolder() override { return "C:\\Monitor\\"; }
  std::string ExecutablePath() override { return "C:\\Monitor\\monitor.exe"; }
  std::string ExecutableSuffix() override { return ".exe"; }
  std::string VersionText() override { return "1.2.3.4"; }
  std::string OsDescription() override { return "Windows 7 Professional Edition (Build 7601)"; }
  uint64_t UptimeMs() override { return 90061'999; }
  platform::MainLoop& Loop() override { return loop; }
  TServedTexts& Served() override { return texts; }
  const TMFileList& Resources() override { return test::EmbeddedFiles(); }
  platform::EventLogSink* Events() override { return events; }
  TServedTexts texts;
  platform::EventLogSink* events = nullptr;
};

TSettings Ini(const std::string& text) { return ReadSettings(TMemIniFile(text)); }

const char kConfigOnly[] = "[source]\nconfig=util config\n";

// What the HTTP threads would be served: of every controller, and of one.
std::string Text(FakeEnv& env, bool (TServedTexts::*copy)(std::string&) const) {
  std::string text;
  (env.texts.*copy)(text);
  return text;
}
std::string Text(FakeEnv& env, bool (TServedTexts::*copy)(int, std::string&) const, int controller = 1) {
  std::string text;
  (env.texts.*copy)(controller, text);
  return text;
}

TEST(ScanListManager, ConfigureWritesTheStartUpLinesInOrderAndStartsTheTimer) {
  LogRecorder log;
  FakeEnv env;
  TScanListManager manager(env);
  manager.Configure(Ini("[source]\nconfig=util config\ntask=util task\n[scaner]\nrestart_timeout=100\n"));
  const std::vector<std::string> expected = {
      "Version: 1.2.3.4",
      "OS: Windows 7 Professional Edition (Build 7601)",
      "Uptime: 1D 01:01:01",
      "source config: util config",
      "source smart: ",
      "source task: util task",
      "source stat: ",
      "source cache: ",
  };
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(env.current_folder, "C:\\Monitor\\");
  EXPECT_TRUE(manager.TimerEnabled());
  EXPECT_EQ(manager.RestartTimeout(), 100);
}

TEST(ScanListManager, WithoutAConfigSourceNothingIsCollectedOrRestarted) {
  LogRecorder log;
  FakeEnv env;
  TScanListManager manager(env);
  manager.Configure(Ini("[source]\nsmart=util smart\n[scaner]\nrestart_timeout=0\n"));
  EXPECT_FALSE(manager.TimerEnabled());
  EXPECT_EQ(log.Lines().size(), 3u);  // Version, OS, Uptime only
  EXPECT_EQ(Text(env, &TServedTexts::CopyMainPage), " ");
  EXPECT_EQ(Text(env, &TServedTexts::CopyConfigText), " ");
}

TEST(ScanListManager, FirstTickCollectsAndThenEveryTimeoutSeconds) {
  LogRecorder log;
  FakeEnv env;
  env.outputs["util config"] = "Controllers found: 1\r\n";
  TScanListManager manager(env);
  manager.Timeout = 60;
  manager.Configure(Ini(kConfigOnly));
  std::vector<int64_t> collected_at;
  const int64_t start = env.now;
  for (int second = 0; second <= 200; ++second) {
    env.now = start + second;
    size_t before = env.runs.size();
    manager.OnTick();
    if (env.runs.size() != before) collected_at.push_back(second);
  }
  EXPECT_EQ(collected_at, (std::vector<int64_t>{0, 60, 120, 180}));
  EXPECT_EQ(log.Count("retimer"), 4u);
  EXPECT_EQ(Text(env, &TServedTexts::CopyConfigText), "Controllers found: 1\r\n ");
}

// A whole listing of `drives` drives 0,n, the first in `state`, the others Online.
std::string Listing(const char* state, int drives) {
  std::string text = "Controller information\n   Controller Status : Optimal\nPhysical Device information\n";
  for (int n = 0; n < drives; ++n)
    text += "      Device #" + std::to_string(n) + "\n         Device is a Hard drive\n         State : " +
            (n == 0 ? state : "Online") + "\n         Reported Channel,Device : 0," + std::to_string(n) +
            "\n         Serial number : S" + std::to_string(n) + "\n";
  return text + "\nCommand completed successfully.\n\n";
}

// State changes reach the event log with their type and id; the first run tells its verdict
// alone, and a cycle with more than 50 changes writes one record counting the rest.
TEST(ScanListManager, ChangesBecomeEventsWithTheirTypeAndId) {
  test::EventRecorder events;
  const auto listing = Listing;
  LogRecorder log;
  FakeEnv env;
  env.outputs["util config"] = listing("Failed", 1);
  TScanListManager manager(env);
  env.events = &events;
  manager.Timeout = 1;
  manager.Configure(Ini(kConfigOnly));
  manager.OnTick();
  EXPECT_EQ(events.Records(), std::vector<std::string>{"2 80 Health: Warning"});  // a drive of no device
  env.outputs["util config"] = listing("Online", 1);
  ++env.now;
  manager.OnTick();
  ASSERT_EQ(events.Records().size(), 2u);
  EXPECT_EQ(events.Records()[1], "4 12 Drive 0,0 (S/N S0): Failed -> Online");
  EXPECT_EQ(log.Count("CHANGE information: Drive 0,0 (S/N S0): Failed -> Online"), 1u);
  env.outputs["util config"] = listing("Online", 60);  // 59 drives appear
  ++env.now;
  manager.OnTick();
  ASSERT_EQ(events.Records().size(), 2u + 51u);
  EXPECT_EQ(events.Records().back(), "2 90 9 more changes were not written to the event log; see korvane_monitor_changes.txt");
}

// One [source] line with the placeholder watches every controller the utility reports: each
// has its own texts, its changes name it, the overall verdict is the worst, and a controller
// that leaves the count is a change of its own.
TEST(ScanListManager, ThePlaceholderWatchesEveryControllerReported) {
  LogRecorder log;
  test::EventRecorder events;
  FakeEnv env;
  env.events = &events;
  const auto listing = [](int controllers, const char* state) {
    return "Controllers found: " + std::to_string(controllers) + "\n" + Listing(state, 2);
  };
  env.outputs["util config 1"] = listing(2, "Online");
  env.outputs["util config 2"] = listing(2, "Online");
  env.outputs["util task"] = "";
  TScanListManager manager(env);
  manager.Timeout = 1;
  manager.Configure(Ini("[source]\nconfig=util config {controller}\ntask=util task\n"));
  manager.OnTick();
  // A value without the placeholder is controller 1's alone.
  EXPECT_EQ(env.runs, (std::vector<std::string>{"util config 1", "util task", "util config 2"}));
  EXPECT_EQ(Text(env, &TServedTexts::CopyConfigText, 2), listing(2, "Online") + " ");
  EXPECT_TRUE(env.texts.HasController(2));
  EXPECT_FALSE(env.texts.HasController(3));

  env.outputs["util config 2"] = listing(2, "Failed");
  ++env.now;
  manager.OnTick();
  EXPECT_EQ(log.Count("CHANGE critical: Controller 2: Drive 0,0 (S/N S0): Online -> Failed"), 1u);
  const std::string json = Text(env, &TServedTexts::CopyStateJson);
  EXPECT_EQ(json.rfind("{\"format\":2,\"health\":{\"verdict\":\"", 0), 0u) << json.substr(0, 100);
  EXPECT_EQ(json.find("{\"format\":2,\"health\":{\"verdict\":\"OK\""), std::string::npos);
  EXPECT_NE(json.find("Controller 2: Drive 0,0"), std::string::npos);
  EXPECT_NE(json.find("{\"controller\":2,"), std::string::npos);
  EXPECT_NE(Text(env, &TServedTexts::CopyMetricsText).find("korvane_up{controller=\"2\"} 1"), std::string::npos);

  env.outputs["util config 1"] = listing(1, "Online");
  ++env.now;
  env.runs.clear();
  manager.OnTick();
  EXPECT_EQ(env.runs, (std::vector<std::string>{"util config 1", "util task"}));
  EXPECT_EQ(events.Records().back(), "2 42 Controller 2: no longer reported by the utility");
  EXPECT_FALSE(env.texts.HasController(2));
}

// A controller the utility reports and nobody watches is a Warning; a numbered section
// without a config source is skipped with one line.
TEST(ScanListManager, ControllersReportedButNotWatchedAreAWarning) {
  LogRecorder log;
  FakeEnv env;
  env.outputs["util config"] = "Controllers Found: 3\n" + Listing("Online", 1);
  TScanListManager manager(env);
  manager.Configure(Ini("[source]\nconfig=util config\n[source_4]\nsmart=util smart\n"));
  EXPECT_EQ(log.Count("ERROR! [source_4] has no config source: controller 4 is not watched"), 1u);
  manager.OnTick();
  const std::string json = Text(env, &TServedTexts::CopyStateJson);
  EXPECT_NE(json.find("The utility reports 3 controllers; 1 watched"), std::string::npos);
  EXPECT_EQ(json.find("\"verdict\":\"OK\""), std::string::npos);
  EXPECT_FALSE(env.texts.HasController(2));

  // A section of its own watches controller 3; controller 2, below it, is still not served.
  env.outputs["util config 3"] = "Controllers found: 3\n" + Listing("Online", 1);
  TScanListManager second(env);
  second.Configure(Ini("[source]\nconfig=util config\n[source_3]\nconfig=util config 3\n"));
  second.OnTick();
  EXPECT_TRUE(env.texts.HasController(3));
  EXPECT_FALSE(env.texts.HasController(2));
  EXPECT_NE(Text(env, &TServedTexts::CopyStateJson).find("The utility reports 3 controllers; 2 watched"),
            std::string::npos);
}

// Output cut short once made drives "disappear" and the machine texts report health while
// blind: a listing without its completion line fails the collection, and an XML document
// never closed keeps the last good SMART data.
TEST(ScanListManager, OutputCutShortKeepsTheLastGoodDataInEveryText) {
  LogRecorder log;
  FakeEnv env;
  const std::string smart =
      "<SmartStats deviceName=\"C\" serialNumber=\"X\" >\r\n <PhysicalDriveSmartStats channel=\"0\" id=\"1\" >\r\n"
      "  <Attribute id=\"0x05\" name=\"Reallocated\" normalizedCurrent=\"100\" normalizedWorst=\"100\" rawValue=\"77\" />\r\n"
      " </PhysicalDriveSmartStats>\r\n</SmartStats>\r\n";
  const std::string cut_listing = Listing("Failed", 2).substr(0, Listing("Failed", 2).find("Device #1") + 30);
  env.outputs["util smart"] = smart;
  TScanListManager manager(env);
  manager.Timeout = 1;
  manager.Configure(Ini("[source]\nconfig=util config\nsmart=util smart\n"));

  // Cut short with no good cycle to show instead: nothing is shown, not a smaller controller.
  env.outputs["util config"] = cut_listing;
  manager.OnTick();
  EXPECT_NE(Text(env, &TServedTexts::CopyMetricsText).find("korvane_up{controller=\"1\"} 0"), std::string::npos);
  EXPECT_EQ(Text(env, &TServedTexts::CopyMetricsText).find("korvane_drive_info"), std::string::npos);
  EXPECT_NE(Text(env, &TServedTexts::CopyStateJson).find("\"drives\":[]"), std::string::npos);

  env.outputs["util config"] = Listing("Failed", 2);
  ++env.now;
  manager.OnTick();
  EXPECT_EQ(log.Count("config source: exit code -1, " + std::to_string(Listing("Failed", 2).size()) + " bytes"), 1u);

  // The SMART document stops short: the cycle is good, its SMART data the last good one's.
  env.outputs["util smart"] = smart.substr(0, smart.size() / 2);
  ++env.now;
  manager.OnTick();
  std::string metrics = Text(env, &TServedTexts::CopyMetricsText);
  EXPECT_NE(metrics.find("korvane_up{controller=\"1\"} 1"), std::string::npos);
  EXPECT_NE(metrics.find("korvane_source_last_status{controller=\"1\",source=\"smart\"} 5"), std::string::npos);
  EXPECT_NE(metrics.find("attribute_id=\"5\""), std::string::npos) << metrics;
  EXPECT_NE(Text(env, &TServedTexts::CopyStateJson).find("the smart source gave an incomplete document"),
            std::string::npos);
  // So does a SMART command that timed out or crashed between its two documents.
  env.results["util smart"] = ConsoleProcessResult::kTimedOut;
  ++env.now;
  manager.OnTick();
  EXPECT_NE(Text(env, &TServedTexts::CopyMetricsText).find("attribute_id=\"5\""), std::string::npos);
  env.results.erase("util smart");
  env.outputs["util smart"] = smart;
  env.exit_codes["util smart"] = 139;
  ++env.now;
  manager.OnTick();
  metrics = Text(env, &TServedTexts::CopyMetricsText);
  EXPECT_NE(metrics.find("korvane_source_last_status{controller=\"1\",source=\"smart\"} 5"), std::string::npos);
  EXPECT_NE(metrics.find("attribute_id=\"5\""), std::string::npos);
  env.exit_codes.erase("util smart");
  const std::string good_report = Text(env, &TServedTexts::CopyReportText);

  // The listing stops inside drive 0,1: nothing disappears, every text keeps the last good data.
  env.outputs["util config"] = cut_listing;
  ++env.now;
  manager.OnTick();
  metrics = Text(env, &TServedTexts::CopyMetricsText);
  EXPECT_NE(metrics.find("korvane_up{controller=\"1\"} 0"), std::string::npos);
  EXPECT_NE(metrics.find("korvane_source_last_status{controller=\"1\",source=\"config\"} 5"), std::string::npos);
  EXPECT_NE(metrics.find("korvane_drive_failed{controller=\"1\",channel=\"0\",device_id=\"0\""), std::string::npos);
  const std::string json = Text(env, &TServedTexts::CopyStateJson);
  EXPECT_NE(json.find("\"stale\":true,\"stale_reason\":\"config source gave an incomplete listing\""),
            std::string::npos);
  EXPECT_NE(json.find("\"serial\":\"S1\""), std::string::npos);
  EXPECT_EQ(Text(env, &TServedTexts::CopyReportText), good_report);
  // Once at the first cycle, once now.
  EXPECT_EQ(log.Count("CHANGE warning: Collection failing: config source gave an incomplete listing"), 2u);

  // A non-zero exit code is as bad as a missing completion line.
  env.outputs["util config"] = Listing("Failed", 2);
  env.exit_codes["util config"] = 1;
  ++env.now;
  manager.OnTick();
  EXPECT_NE(Text(env, &TServedTexts::CopyMetricsText).find("korvane_up{controller=\"1\"} 0"), std::string::npos);
  env.exit_codes["util config"] = 0;
  ++env.now;
  manager.OnTick();
  EXPECT_NE(Text(env, &TServedTexts::CopyStateJson).find("\"stale\":false"), std::string::npos);
  EXPECT_EQ(log.Count("CHANGE information: Collection recovered"), 2u);
  size_t changes = 0;
  for (const std::string& line : log.Lines()) changes += line.rfind("CHANGE", 0) == 0;
  EXPECT_EQ(changes, 4u);  // failing and recovered, twice: no drive came or went
}

TEST(ScanListManager, OnlyTheConfigSourceLeavesTheOtherTextsEmpty) {
  FakeEnv env;
  env.outputs["util config"] = "cfg";
  TScanListManager manager(env);
  manager.Configure(Ini(kConfigOnly));
  manager.OnTick();
  ASSERT_EQ(env.runs, std::vector<std::string>{"util config"});
  TArchiveSources sources;
  ASSERT_TRUE(env.texts.ShareArchiveSources(1, sources));
  EXPECT_EQ(*sources.texts[TArchiveSources::kConfig], "cfg");
  EXPECT_EQ(sources.local_time, env.now);
  for (int absent : {TArchiveSources::kSmart, TArchiveSources::kTask, TArchiveSources::kStat, TArchiveSources::kCache})
    EXPECT_TRUE(sources.texts[absent] == nullptr || sources.texts[absent]->empty()) << absent;
}

TEST(ScanListManager, SourcesAreReadInOrderAndTheReportEndsWithTheUpdateBlock) {
  LogRecorder log;
  FakeEnv env;
  for (const char* s : {"c", "s", "t", "l", "k"}) env.outputs[std::string("util ") + s] = "";
  TScanListManager manager(env);
  manager.Configure(Ini("[source]\nconfig=util c\nsmart=util s\ntask=util t\nstat=util l\ncache=util k\n"));
  log.Clear();
  manager.OnTick();
  EXPECT_EQ(env.runs, (std::vector<std::string>{"util c", "util s", "util t", "util l", "util k"}));
  EXPECT_EQ(log.Count("ERROR! StartData_config, str=null"), 5u);
  const std::string report = Text(env, &TServedTexts::CopyReportText);
  const std::string tail = "\r\n[update]\r\ntime=" + std::to_string(env.now) + "\r\n ";
  ASSERT_GE(report.size(), tail.size() + 2);
  EXPECT_EQ(report.substr(report.size() - tail.size() - 2), "\r\n" + tail);
  EXPECT_EQ(log.Lines().back().rfind("OK, StartData, str size=", 0), 0u) << log.Lines().back();
}

TEST(ScanListManager, RestartTimeoutZeroLaunchesTheRestartProgramAtTheFirstTick) {
  LogRecorder log;
  FakeEnv env;
  env.outputs["util config"] = "cfg";
  TScanListManager manager(env);
  manager.Configure(Ini("[source]\nconfig=util config\n[scaner]\nrestart_timeout=0\n"));
  manager.OnTick();
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].first,
            "\"C:\\Monitor\\reload_service.exe\" \"KorvaneMonitorHTTPServer\" \"reload\" \"monitor_core_log.txt\"");
  EXPECT_EQ(env.launches[0].second, "C:\\Monitor\\");
  EXPECT_EQ(log.Count("SERVICE RESTART!"), 1u);
  EXPECT_FALSE(manager.TimerEnabled());
  // The collection of that tick happened first; after the launch nothing more runs.
  EXPECT_EQ(env.runs.size(), 1u);
  for (int i = 1; i < 2000; i += 97) {
    env.now += i;
    manager.OnTick();
  }
  EXPECT_EQ(env.runs.size(), 1u);
  EXPECT_EQ(env.launches.size(), 1u);
}

TEST(ScanListManager, MissingRestartProgramIsLookedForEveryRestartTimeoutPlusFive) {
  LogRecorder log;
  FakeEnv env;
  env.restart_program_exists = false;
  env.outputs["util config"] = "cfg";
  TScanListManager manager(env);
  manager.Timeout = 1000000;
  manager.Configure(Ini("[source]\nconfig=util config\n[scaner]\nrestart_timeout=100\n"));
  const int64_t start = env.now;
  std::vector<int64_t> looked_at;
  for (int second = 0; second <= 400; ++second) {
    env.now = start + second;
    size_t before = env.file_checks.size();
    manager.OnTick();
    if (env.file_checks.size() != before) looked_at.push_back(second);
  }
  EXPECT_EQ(looked_at, (std::vector<int64_t>{100, 205, 310}));
  EXPECT_EQ(env.file_checks.front(), "C:\\Monitor\\reload_service.exe");
  EXPECT_EQ(log.Count("SERVICE RESTART!"), 0u);
  EXPECT_TRUE(env.launches.empty());
  EXPECT_TRUE(manager.TimerEnabled());
}

TEST(DrivePageKeys, ExistingDriveSectionsThenTheStandIn) {
  struct Row {
    const char* report;
    std::vector<std::string> keys;
  };
  const Row rows[] = {
      {"[hdds]\ncount=3\n[hdd_0]\nchannel=0\nid=4\n[hdd_2]\nchannel=1\nid=7\n", {"0_4", "1_7", "-1_-1"}},
      {"[hdds]\ncount=0\n[hdd_0]\nchannel=0\nid=4\n", {"-1_-1"}},
      {"", {"-1_-1"}},
      {"[hdds]\ncount=1\n[hdd_0]\nstate=Online\n", {"_", "-1_-1"}},
      {"[hdds]\ncount=-5\n", {"-1_-1"}},
      {"[hdds]\ncount=2\n[HDD_1]\nCHANNEL=2\nID=9\n", {"2_9", "-1_-1"}},
  };
  for (const Row& row : rows) EXPECT_EQ(DrivePageKeys(TMemIniFile(row.report)), row.keys) << row.report;
}

TEST(DrivePageKeys, HostileCountEndsQuickly) {
  const auto start = std::chrono::steady_clock::now();
  auto keys = DrivePageKeys(TMemIniFile("[hdds]\ncount=9223372036854775807\n[hdd_5]\nchannel=0\nid=5\n"));
  EXPECT_EQ(keys, (std::vector<std::string>{"0_5", "-1_-1"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// While a collection waits for its command, page requests are answered at once with the
// previous cycle's texts. The ticks run on a real main loop through the real timer.
TEST(ScanListManager, RequestsDuringACollectionGetThePreviousTexts) {
  FakeEnv env;
  std::mutex gate_mutex;
  std::condition_variable gate;
  bool release = false;
  std::atomic<int> cycles{0};
  env.on_run = [&](const std::string&) {
    if (++cycles == 1) return;
    std::unique_lock<std::mutex> lock(gate_mutex);
    gate.wait_for(lock, std::chrono::seconds(3), [&] { return release; });
  };
  env.outputs["util config"] = "first cycle";
  std::thread loop_thread([&] { env.loop.Run(); });
  {
    TScanListManager manager(env);
    manager.Timeout = 0;
    manager.Configure(Ini(kConfigOnly));
    for (int i = 0; i < 300 && Text(env, &TServedTexts::CopyConfigText) != "first cycle "; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Text(env, &TServedTexts::CopyConfigText), "first cycle ");
    // The second cycle starts a second later (the timer's interval) and then blocks.
    for (int i = 0; i < 300 && cycles < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(cycles, 2);
    for (int i = 0; i < 20; ++i) {
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(Text(env, &TServedTexts::CopyConfigText), "first cycle ");
      EXPECT_FALSE(Text(env, &TServedTexts::CopyReportText).empty());
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    }
    {
      std::lock_guard<std::mutex> lock(gate_mutex);
      release = true;
      gate.notify_all();
    }
  }
  // Once the manager is gone the accessors refuse.
  std::string text = "x";
  EXPECT_FALSE(env.texts.CopyConfigText(1, text));
  EXPECT_TRUE(text.empty());
  env.loop.Quit();
  loop_thread.join();
}

// A good cycle becomes the base; a failing one is never compared, keeps the base and shows
// the last good model under a warning; the recovery is told once.
TEST(HealthTracker, FailingCollectionKeepsTheLastGoodModelAndBase) {
  const auto model = [](const char* state) {
    auto core = std::make_unique<TKVCore>();
    ParseConfig(std::string("Controller information\n   Controller Status : Optimal\n"
                            "Physical Device information\n      Device #0\n         Device is a Hard drive\n"
                            "         State : ") + state + "\n         Reported Channel,Device : 0,0\n"
                            "         Serial number : A\n", *core);
    BuildResult(*core);
    return core;
  };
  const TMemIniFile report;
  THealthTracker tracker;
  tracker.StartFrom(false, TStateSnapshot{}, true);

  auto first = model("Failed");
  THealthTracker::TJudged j = tracker.Judge(*first, report, "", 1000);
  EXPECT_TRUE(j.Good && j.TellFirstVerdict && j.Changes.empty());
  EXPECT_EQ(j.View.Verdict.Level, THealth::Warning);  // a failed drive in no device
  tracker.KeepGood(std::move(first), report, 1000);

  auto empty = std::make_unique<TKVCore>();
  j = tracker.Judge(*empty, report, "config source timed out", 2000);
  EXPECT_FALSE(j.Good);
  ASSERT_EQ(j.Changes.size(), 1u);
  EXPECT_EQ(j.Changes[0].Text, "Collection failing: config source timed out");
  EXPECT_NE(j.Shown, empty.get()) << "the pages show the last good model";
  EXPECT_EQ(j.View.CollectedAt, 1000);
  EXPECT_EQ(j.View.StaleWarning,
            "The config source timed out at 1970-01-01 00:33:20. The data shown was collected at 1970-01-01 00:16:40.");
  EXPECT_EQ(j.View.Verdict.Reasons.front().Text, "the config source timed out");
  EXPECT_TRUE(tracker.Judge(*empty, report, "config source timed out", 3000).Changes.empty()) << "told once";

  auto back = model("Online");
  j = tracker.Judge(*back, report, "", 4000);
  std::vector<std::string> lines;
  for (const TChange& c : j.Changes) lines.push_back(c.Text);
  EXPECT_EQ(lines, (std::vector<std::string>{"Drive 0,0 (S/N A): Failed -> Online", "Collection recovered"}));
  EXPECT_EQ(j.View.Verdict.Level, THealth::OK);
  EXPECT_EQ(LocalTimeText(1765249800), "2025-12-09 03:10:00");
}

// The demo controller's texts as its sources returned them; `smart` stands for the SMART
// document.
TCycleInput DemoCycleInput(TControllerState& state, const std::string& smart) {
  TCycleInput in;
  const char* files[kSourceCount] = {"get_config.txt", "get_smartstats.txt", "get_tasks.txt", "get_logs_stats.txt",
                                     "get_logs_cache.txt"};
  for (int i = 0; i < kSourceCount; ++i) {
    const std::string text = i == kSourceSmart ? smart : test::ReadFile(test::kDemoDir + files[i]);
    in.Texts[static_cast<size_t>(i)] = std::make_shared<const std::string>(text);
    state.Health.Sources[static_cast<size_t>(i)] = {true, SourceStatus::kOk};
  }
  in.Files = &test::EmbeddedFiles();
  in.SmartNames = test::ShippedSmartNames();
  return in;
}

// The first good cycle of each history interval is sampled, and a predictive value that
// grew since is a Warning reason and a mark on the drive's row.
TEST(ControllerCycle, OneHistorySampleAnIntervalAndGrowthIsAWarning) {
  const std::string smart = test::ReadFile(test::kDemoDir + "get_smartstats.txt");
  // The first drive with attribute 5 gains 7 reallocated sectors.
  const size_t attribute = smart.find("id=\"0x05\"");
  const size_t raw = smart.find("rawValue=\"", attribute) + 10;
  const size_t raw_end = smart.find('"', raw);
  ASSERT_NE(attribute, std::string::npos);
  const std::string before = smart.substr(raw, raw_end - raw);
  const std::string after = std::to_string(std::stoll(before) + 7);
  std::string grown = smart;
  grown.replace(raw, raw_end - raw, after);

  TControllerState state;
  TCycleInput in = DemoCycleInput(state, smart);
  in.HistoryInterval = 3600;
  in.UtcNow = in.Now = 1'765'000'800;  // 20 minutes into an hour
  TCycleOutput out = RunControllerCycle(state, in);
  ASSERT_TRUE(out.Good);
  ASSERT_TRUE(out.HistorySample.has_value());
  EXPECT_EQ(out.HistorySample->Time, in.UtcNow);
  EXPECT_EQ(out.HistorySample->Drives.size(), static_cast<size_t>(out.Shown->Result.HDDs.Count()));
  const auto growth_reasons = [](const TCycleOutput& o) {
    std::vector<std::string> texts;
    for (const THealthReason& r : o.View.Verdict.Reasons)
      if (r.Text.find(" grew from ") != std::string::npos) texts.push_back(r.Object + ": " + r.Text);
    return texts;
  };
  EXPECT_TRUE(growth_reasons(out).empty());
  EXPECT_EQ(out.MainPage->find("&#9650;"), std::string::npos);

  in.UtcNow = in.Now += 600;  // the same hour
  EXPECT_FALSE(RunControllerCycle(state, in).HistorySample.has_value());

  in = DemoCycleInput(state, grown);
  in.HistoryInterval = 3600;
  in.UtcNow = in.Now = 1'765'000'800 + 3600;  // the next hour
  out = RunControllerCycle(state, in);
  ASSERT_TRUE(out.HistorySample.has_value());
  const std::string text = "attribute 5 grew from " + before + " to " + after + " in 1 day";
  const std::vector<std::string> reasons = growth_reasons(out);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_EQ(reasons[0].substr(0, 6), "Drive ");
  EXPECT_EQ(reasons[0].substr(reasons[0].size() - text.size()), text);
  EXPECT_GE(out.View.Verdict.Level, THealth::Warning);
  EXPECT_NE(out.MainPage->find("title=\"" + text + "\">&#9650;</span>"), std::string::npos);

  in.HistoryInterval = 0;  // history off: no sample, no growth check
  in.UtcNow = in.Now += 7200;
  out = RunControllerCycle(state, in);
  EXPECT_FALSE(out.HistorySample.has_value());
  EXPECT_TRUE(growth_reasons(out).empty());
}

// The changes file grows by CR LF lines and starts afresh past 1 MiB, keeping one old file;
// the saved state comes back whole, and a damaged one is refused with one core-log line.
TEST(ChangesJournal, LinesRotateAndTheStateSurvivesARestart) {
  testing::TempFolder folder;
  TChangesJournal journal(folder.Folder());
  journal.Append({{TChangeKind::DriveFailed, TSeverity::Critical, "Drive 0,7: Online -> Failed\nx"}}, 1765249800);
  EXPECT_EQ(test::ReadFile(folder.File("korvane_monitor_changes.txt")),
            "2025-12-09 03:10:00 critical Drive 0,7: Online -> Failed x\r\n");
  const std::vector<TChange> big(1000, TChange{TChangeKind::DriveGood, TSeverity::Information, std::string(1200, 'z')});
  journal.Append(big, 1765249800);
  EXPECT_EQ(test::ReadFile(folder.File("korvane_monitor_changes.old.txt")),
            "2025-12-09 03:10:00 critical Drive 0,7: Online -> Failed x\r\n");
  EXPECT_LE(test::ReadFile(folder.File("korvane_monitor_changes.txt")).size(), TChangesJournal::kRotateBytes + 1300u * 1000);

  TStateSnapshots states, back;
  bool existed = true;
  EXPECT_FALSE(TChangesJournal(folder.Folder()).LoadState(back, existed));
  EXPECT_FALSE(existed) << "the very first run";
  TStateSnapshot& state = states[1];
  state.Controller = "Optimal";
  state.Drives.push_back({"sn:a", "Drive 0,0 (S/N A)", "Online", 0});
  states[3].Controller = "Failed";
  // The notifications' memory rides along; a line of another kind is not written.
  journal.SaveState(states, {"notify\tverdict\tCritical", "other\tline"});
  std::vector<std::string> notes;
  EXPECT_TRUE(TChangesJournal(folder.Folder()).LoadState(back, existed, &notes));
  EXPECT_EQ(SaveSnapshots(back), SaveSnapshots(states));
  EXPECT_EQ(notes, std::vector<std::string>{"notify\tverdict\tCritical"});
  // The file of a version that watched one controller is controller 1's state.
  std::ofstream(folder.File("korvane_monitor_state.txt"), std::ios::binary) << SaveSnapshot(state);
  EXPECT_TRUE(TChangesJournal(folder.Folder()).LoadState(back, existed));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(SaveSnapshot(back[1]), SaveSnapshot(state));
  // Cut short, or a controller told twice: not read.
  const std::string whole = SaveSnapshots(states);
  EXPECT_FALSE(LoadSnapshots(whole.substr(0, whole.size() - 3), back));
  EXPECT_FALSE(LoadSnapshots(whole.substr(0, whole.find("controller 3")) + whole.substr(whole.find("controller 1")), back));

  std::ofstream(folder.File("korvane_monitor_state.txt"), std::ios::binary) << "garbage";
  LogRecorder log;
  EXPECT_FALSE(TChangesJournal(folder.Folder()).LoadState(back, existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(log.Lines().size(), 1u);
}

// A file that cannot be written (here a folder stands in its way) is told once, as a line
// and a warning record, and is a warning of the verdict until a write works again; then one
// line and one information record. The saved state leaves no temporary file behind.
TEST(ChangesJournal, AWriteThatFailsIsToldOnceUntilItWorksAgain) {
  const TStateSnapshot state;
  const std::vector<TChange> change{{TChangeKind::DriveGood, TSeverity::Information, "Drive 0,0: Failed -> Online"}};
  struct Row {
    const char* file;
    std::function<void(TChangesJournal&)> write;
  } rows[] = {
      {"korvane_monitor_changes.txt", [&](TChangesJournal& j) { j.Append(change, 1765249800); }},
      {"korvane_monitor_state.txt", [&](TChangesJournal& j) { j.SaveState({{1, state}}); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    testing::TempFolder folder;
    std::filesystem::create_directories(folder.Path() / row.file / "x");
    LogRecorder log;
    test::EventRecorder events;
    TChangesJournal journal(folder.Folder());
    row.write(journal);
    row.write(journal);
    const std::string told = std::string("Cannot write ") + row.file + ": ";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].rfind("ERROR! " + told, 0), 0u) << log.Lines()[0];
    ASSERT_EQ(events.Records().size(), 1u);
    EXPECT_EQ(events.Records()[0], "2 72 " + log.Lines()[0].substr(7));
    EXPECT_EQ(test::WriteWarning(row.file), log.Lines()[0].substr(7));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "korvane_monitor_state.tmp"));

    std::filesystem::remove_all(folder.Path() / row.file);
    row.write(journal);
    row.write(journal);
    EXPECT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines().back(), std::string(row.file) + " is written again");
    EXPECT_EQ(events.Records().back(), std::string("4 73 ") + row.file + " is written again");
    EXPECT_EQ(test::WriteWarning(row.file), "");
  }
}

// Lines are whole: after a line a crash cut short the next one starts on its own, and a
// write the file system cuts short (here the file size limit) leaves the file as it was;
// its lines are written with the next ones.
TEST(ChangesJournal, LinesAreWrittenWholeOrNotAtAll) {
  testing::TempFolder folder;
  const std::string path = folder.File("korvane_monitor_changes.txt");
  const std::string cut = "2025-12-09 03:10:00 critical Drive 0,7: Onl";
  std::ofstream(path, std::ios::binary) << cut;
  TChangesJournal journal(folder.Folder());
  const std::vector<TChange> change{{TChangeKind::DriveGood, TSeverity::Information, "Drive 0,0: Failed -> Online"}};
  const std::string line = ChangeFileLine(change[0], 1765249800);
  journal.Append(change, 1765249800);
  const std::string whole = cut + "\r\n" + line;
  EXPECT_EQ(test::ReadFile(path), whole);
#ifndef _WIN32
  LogRecorder log;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = whole.size() + 20;  // room for part of the next line only
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  journal.Append(change, 1765249800);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(test::ReadFile(path), whole);
  EXPECT_EQ(log.Count("ERROR! Cannot write korvane_monitor_changes.txt: File too large"), 1u);
  journal.Append(change, 1765249800);
  EXPECT_EQ(test::ReadFile(path), whole + line + line) << "the line not written goes first";
#endif
}

}  // namespace
}  // namespace kv

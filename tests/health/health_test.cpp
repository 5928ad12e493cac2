// The status-word table, the SMART verdict of a drive and the health verdict of a cycle.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "health/changes.h"
#include "health/smart_verdict.h"
#include "health/status_words.h"
#include "health/verdict.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/task_parser.h"
#include "test_files.h"

namespace kv {
namespace {

TEST(StatusWords, ClassifyWithoutCaseAndBeforeAnyBracket) {
  const struct {
    const char* text;
    TStatusClass cls;
  } rows[] = {
      {"Optimal", TStatusClass::Good},
      {" OKAY ", TStatusClass::Good},
      {"Online (JBOD)", TStatusClass::Good},
      {"Raw (Pass Through)", TStatusClass::Good},
      {"ZMM Optimal", TStatusClass::Good},
      {"Global Hot-Spare", TStatusClass::Spare},
      {"Dedicated Hot-Spare", TStatusClass::Spare},
      {"Not Installed", TStatusClass::NotFitted},
      {"ZMM not installed", TStatusClass::NotFitted},
      {"Impacted ( Build/Verify with fix : 90 % )", TStatusClass::NotOptimal},
      {"Not Ready", TStatusClass::NotOptimal},
      {"Rebuilding", TStatusClass::NotOptimal},
      {"Missing", TStatusClass::Missing},
      {"Defunct", TStatusClass::Failed},
      {"Offline", TStatusClass::Failed},
      {"Okay-ish", TStatusClass::Unknown},  // never read as good
      {"", TStatusClass::Unknown},
  };
  for (const auto& row : rows) EXPECT_EQ(ClassifyStatus(row.text), row.cls) << "[" << row.text << "]";
}

// Every state and status word of the captured listings and the demo is in the table.
TEST(StatusWords, EveryWordOfTheCapturedListingsIsKnown) {
  namespace fs = std::filesystem;
  std::vector<std::string> texts = {test::ReadFile(test::kDemoDir + "get_config.txt")};
  const fs::path real = fs::path(KV_FIXTURES_DIR) / "real" / "config";
  if (fs::is_directory(real))
    for (const auto& entry : fs::directory_iterator(real)) texts.push_back(test::ReadFile(entry.path().string()));
  const std::regex status(R"(^ *(State|Controller Status|Status of [A-Za-z ]+|Status|Overall Backup Unit Status) *: (.+?) *$)",
                          std::regex::icase);
  int words = 0;
  for (const std::string& text : texts) {
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::smatch m;
      const std::string line = text.substr(start, end - start);
      if (std::regex_match(line, m, status)) {
        ++words;
        EXPECT_NE(ClassifyStatus(m[2].str()), TStatusClass::Unknown) << line;
      }
      start = end + 1;
    }
  }
  EXPECT_GT(words, 10);
}

// A controller with two logical devices over four drives, a spare and a drive of its own.
const char kListing[] =
    "Controller information\n"
    "   Controller Status : Optimal\n"
    "   Controller Battery Information\n"
    "   Status : Optimal\n"
    "Logical device information\n"
    "Logical device number 0\n"
    "   Logical device name : Data\n"
    "   Status of logical device : Optimal\n"
    "   Dedicated Hot-Spare : 0,3\n"
    "   Logical device segment information\n"
    "   Segment 0 : Present (0,0) A\n"
    "   Segment 1 : Present (0,1) B\n"
    "Logical device number 1\n"
    "   Status of logical device : Optimal\n"
    "   Logical device segment information\n"
    "   Segment 0 : Present (0,2) C\n"
    "Physical Device information\n"
    "      Device #0\n         Device is a Hard drive\n         State : Online\n"
    "         Reported Channel,Device : 0,0\n         Serial number : A\n"
    "      Device #1\n         Device is a Hard drive\n         State : Online\n"
    "         Reported Channel,Device : 0,1\n         Serial number : B\n"
    "      Device #2\n         Device is a Hard drive\n         State : Online\n"
    "         Reported Channel,Device : 0,2\n         Serial number : C\n"
    "      Device #3\n         Device is a Hard drive\n         State : Hot Spare\n"
    "         Reported Channel,Device : 0,3\n         Serial number : D\n"
    "      Device #4\n         Device is a Hard drive\n         State : Ready\n"
    "         Reported Channel,Device : 0,4\n         Serial number : E\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(HealthVerdict, RulesByObjectAndRole) {
  const struct {
    const char* change_from;
    const char* change_to;
    THealth level;
    const char* reason;  // "object: text" of the first reason, "" for none
  } rows[] = {
      {"", "", THealth::OK, ""},
      {"Controller Status : Optimal", "Controller Status : Failed", THealth::Critical, "Controller: Failed"},
      {"Controller Status : Optimal", "Controller Status : Sparkly", THealth::Warning, "Controller: unknown status Sparkly"},
      {"   Status : Optimal\nLogical", "   Status : Not Ready\nLogical", THealth::Warning, "Backup unit: Not Ready"},
      {"   Status : Optimal\nLogical", "   Status : Not Installed\nLogical", THealth::OK, ""},
      {"   Status : Optimal\nLogical", "   Status : Failed\nLogical", THealth::Critical, "Backup unit: Failed"},
      {"device : Optimal\n   Dedicated", "device : Degraded\n   Dedicated", THealth::Warning, "Logical device 0 (Data): Degraded"},
      {"device : Optimal\n   Dedicated", "device : Offline\n   Dedicated", THealth::Critical, "Logical device 0 (Data): Offline"},
      {"Segment 1 : Present (0,1) B", "Segment 1 : Missing", THealth::Warning, "Logical device 0 (Data): 1 member(s) missing"},
      {"State : Online\n         Reported Channel,Device : 0,2", "State : Failed\n         Reported Channel,Device : 0,2",
       THealth::Critical, "Drive 0,2 (S/N C): Failed"},  // a member
      {"State : Hot Spare", "State : Failed", THealth::Critical, "Drive 0,3 (S/N D): Failed"},  // the listed spare is gone
      {"State : Ready", "State : Failed", THealth::Warning, "Drive 0,4 (S/N E): Failed"},        // in nothing
  };
  for (const auto& row : rows) {
    TKVCore core;
    ParseConfig(*row.change_from ? Replace(kListing, row.change_from, row.change_to) : kListing, core);
    BuildResult(core);
    const THealthVerdict v = JudgeHealth(core, JudgeDrives(core, DefaultDriveTemperatureMax()), "");
    EXPECT_EQ(v.Level, row.level) << row.change_to;
    if (*row.reason == '\0') {
      EXPECT_TRUE(v.Reasons.empty()) << row.change_to << ": " << v.Reasons.front().Text;
    } else if (!v.Reasons.empty()) {
      EXPECT_EQ(v.Reasons.front().Object + ": " + v.Reasons.front().Text, row.reason);
    } else {
      ADD_FAILURE() << "no reason for " << row.change_to;
    }
  }
  TKVCore core;
  ParseConfig(kListing, core);
  BuildResult(core);
  const THealthVerdict stale = JudgeHealth(core, {}, "config source timed out");
  EXPECT_EQ(stale.Level, THealth::Warning);
  EXPECT_EQ(stale.Reasons.front().Link, "#controller");
}

TEST(SmartVerdict, PredictiveCountersErrorsTemperatureAndHealth) {
  TKVCore core;
  ParseConfig(kListing, core);
  BuildResult(core);
  // Drive 0,0: SATA with reallocated sectors and a harmless attribute; 0,1: SAS not OK;
  // 0,2: medium errors; 0,3: too warm; 0,4: clean.
  auto& sata = *core.SATASmartParams.FindOrAdd("0", "0").Params;
  sata.Add("05", "100", "100", "12");
  sata.Add("09", "100", "100", "40000");
  sata.Add("c5", "100", "100", "0");
  core.SASSmartParams.FindOrAdd("0", "1");
  core.Result.HDDs.Item(1).SmartHealth = "Failure prediction threshold exceeded";
  TKVStatsPhysP stats;
  stats.Channel = "0";
  stats.Id = "2";
  stats.MediumErrorCount = "3";
  stats.SmartWarningCount = "0";
  core.Stats.PhysStats.Add(stats);
  core.Result.HDDs.Item(3).SmartTemperature = "61 C";
  core.Result.HDDs.Item(4).SmartTemperature = "55 C";

  const std::vector<TSmartVerdict> v = JudgeDrives(core, 55);
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(v[0].Grade, TSmartGrade::Caution);
  EXPECT_EQ(v[0].Attributes, std::vector<int32_t>{5});
  EXPECT_EQ(v[1].Grade, TSmartGrade::Bad);
  EXPECT_EQ(v[2].Grade, TSmartGrade::Caution);
  EXPECT_EQ(v[2].Reasons, std::vector<std::string>{"medium errors 3"});
  EXPECT_EQ(v[3].Reasons, std::vector<std::string>{"temperature 61 C above 55 C"});
  EXPECT_EQ(v[4].Grade, TSmartGrade::Good);

  // A member with a Bad verdict makes the cycle Critical; a Caution only warns.
  EXPECT_EQ(JudgeHealth(core, v, "").Level, THealth::Critical);
  EXPECT_EQ(JudgeHealth(core, {v[0], v[2], v[3], v[4]}, "").Level, THealth::Warning);
}

TStateSnapshot SnapshotOf(const std::string& listing, const std::string& tasks = "") {
  TKVCore core;
  ParseConfig(listing, core);
  if (!tasks.empty()) ParseTasks(tasks, core);
  BuildResult(core);
  return TakeSnapshot(core, JudgeDrives(core, DefaultDriveTemperatureMax()));
}

std::vector<std::string> Lines(const std::vector<TChange>& changes) {
  std::vector<std::string> lines;
  for (const TChange& c : changes)
    lines.push_back(std::string(SeverityName(c.Severity)) + " " + std::to_string(EventIdOf(c.Kind)) + " " + c.Text);
  return lines;
}

TEST(StateChanges, OneLinePerChangeWithItsSeverity) {
  const struct {
    const char* from;
    const char* to;
    std::vector<std::string> lines;
  } rows[] = {
      {"", "", {}},
      {"State : Online\n         Reported Channel,Device : 0,2", "State : Failed\n         Reported Channel,Device : 0,2",
       {"critical 10 Drive 0,2 (S/N C): Online -> Failed"}},
      {"device : Optimal\n   Dedicated", "device : Degraded\n   Dedicated",
       {"warning 21 Logical device 0 (Data): Optimal -> Degraded"}},
      {"Segment 1 : Present (0,1) B", "Segment 1 : Missing",
       {"warning 25 Logical device 0 (Data): 1 member(s) went missing"}},
      {"   Status : Optimal\nLogical", "   Status : Failed\nLogical", {"critical 30 Backup unit: Optimal -> Failed"}},
      {"Controller Status : Optimal", "Controller Status : Bad", {"critical 40 Controller: Optimal -> Bad"}},
      {"Device #4\n         Device is a Hard drive", "Device #4\n         Device is a Tape drive",
       {"warning 11 Drive 0,4 (S/N E): gone (was Ready)"}},
  };
  for (const auto& row : rows) {
    const std::string after = *row.from ? Replace(kListing, row.from, row.to) : kListing;
    EXPECT_EQ(Lines(CompareSnapshots(SnapshotOf(kListing), SnapshotOf(after))), row.lines) << row.to;
  }
  // Apart for the documents machines read: the object, a drive's serial and both states.
  const std::vector<TChange> failed_drive = CompareSnapshots(
      SnapshotOf(kListing), SnapshotOf(Replace(kListing, "State : Online\n         Reported Channel,Device : 0,2",
                                               "State : Failed\n         Reported Channel,Device : 0,2")));
  ASSERT_EQ(failed_drive.size(), 1u);
  EXPECT_EQ(failed_drive[0].Object + "|" + failed_drive[0].Serial + "|" + failed_drive[0].From + "|" +
                failed_drive[0].To,
            "Drive 0,2 (S/N C)|C|Online|Failed");
  // Back again, a drive returns and a task starts and ends.
  const std::string failed = Replace(kListing, "State : Ready", "State : Failed");
  EXPECT_EQ(Lines(CompareSnapshots(SnapshotOf(failed), SnapshotOf(kListing))),
            std::vector<std::string>{"information 12 Drive 0,4 (S/N E): Failed -> Ready"});
  const std::string task =
      "Logical device Task:\n   Task ID : 100\n   Logical device : 0\n   Current operation : Verify\n"
      "   Status : In Progress\n   Priority : High\n   Percentage complete : 11\n";
  EXPECT_EQ(Lines(CompareSnapshots(SnapshotOf(kListing), SnapshotOf(kListing, task))),
            std::vector<std::string>{"information 50 Task 100 (Verify on logical device 0): started, In Progress 11%"});
  EXPECT_EQ(Lines(CompareSnapshots(SnapshotOf(kListing, task), SnapshotOf(kListing))),
            std::vector<std::string>{"information 51 Task 100 (Verify on logical device 0): ended, last In Progress 11%"});
}

// Redacted serials repeat; such drives are told apart by channel and id.
TEST(StateChanges, RepeatedSerialsFallBackToThePlace) {
  const std::string redacted = Replace(Replace(kListing, "Serial number : A", "Serial number : X"),
                                       "Serial number : B", "Serial number : X");
  const std::string failed = Replace(redacted, "State : Online\n         Reported Channel,Device : 0,1",
                                     "State : Failed\n         Reported Channel,Device : 0,1");
  EXPECT_EQ(Lines(CompareSnapshots(SnapshotOf(redacted), SnapshotOf(failed))),
            std::vector<std::string>{"critical 10 Drive 0,1 (S/N X): Online -> Failed"});
}

TEST(StateChanges, SavedSnapshotsRoundTripAndDamageIsRefused) {
  TStateSnapshot s = SnapshotOf(kListing);
  s.Drives[0].State = "On\tline\r\n";  // hostile text inside a value
  const std::string text = SaveSnapshot(s);
  TStateSnapshot back;
  ASSERT_TRUE(LoadSnapshot(text, back));
  EXPECT_EQ(SaveSnapshot(back), text);
  EXPECT_EQ(back.Drives.size(), 5u);
  for (const std::string& damaged :
       {std::string(), text.substr(0, text.size() / 2), "x" + text, text + "more\n",
        Replace(text, "\ndevice\t", "\ndevice\t\t"), Replace(text, "end\n", "")}) {
    TStateSnapshot out;
    out.Controller = "stale";
    EXPECT_FALSE(LoadSnapshot(damaged, out)) << damaged.substr(0, 80);
    EXPECT_TRUE(out.Controller.empty() && out.Drives.empty());
  }
}

}  // namespace
}  // namespace kv

// When notifications are made (problem, reminder, resolved, the hourly limit), across
// restarts, and the message's summary, joining and keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/notify_policy.h"

namespace kv {
namespace {

using K = TChangeKind;
using S = TSeverity;

TChange Change(K kind, S severity, const std::string& object, const std::string& to = "") {
  TChange c;
  c.Kind = kind;
  c.Severity = severity;
  c.Controller = 1;
  c.Object = object;
  c.To = to;
  c.Text = object + ": " + (to.empty() ? "changed" : to);
  return c;
}

THealthVerdict Verdict(THealth level) {
  THealthVerdict v;
  v.Level = level;
  if (level != THealth::OK) v.Reasons = {{level, "Drive 0,1", "", "Failed"}};
  return v;
}

// "problem:2 resolved:1": each message sent, with how many changes it tells.
std::string Told(const std::vector<TNotifyMessage>& messages) {
  std::string text;
  for (const TNotifyMessage& m : messages)
    text += std::string(text.empty() ? "" : " ") + NotifyEventName(m.Event) + ":" +
            std::to_string(m.Changes.size() + m.LeftOut);
  return text;
}

struct TStep {
  int64_t Time;
  THealth Level;
  std::vector<TChange> Changes;
  std::string Expected;
};

struct TScenario {
  const char* Name;
  TNotifyPolicySettings Settings;
  std::vector<TStep> Steps;
};

constexpr THealth OK = THealth::OK, Warn = THealth::Warning, Crit = THealth::Critical;
const TChange kD1Failed = Change(K::DriveFailed, S::Critical, "Drive 0,1", "Failed");
const TChange kD1Good = Change(K::DriveGood, S::Information, "Drive 0,1", "Online");
const TChange kD2Failed = Change(K::DriveFailed, S::Critical, "Drive 0,2", "Failed");
const TChange kD2Good = Change(K::DriveGood, S::Information, "Drive 0,2", "Online");
const TChange kD3NotGood = Change(K::DriveNotGood, S::Warning, "Drive 0,3", "Rebuild");
const TChange kD3Gone = Change(K::DriveGone, S::Warning, "Drive 0,3");
const TChange kD1Appeared = Change(K::DriveAppeared, S::Information, "Drive 0,1");
const TChange kTask = Change(K::TaskStarted, S::Information, "Task 3", "Rebuild");
const TChange kSmartBad = Change(K::SmartWorse, S::Critical, "Drive 0,1", "SMART Bad");
const TChange kSmartCaution = Change(K::SmartBetter, S::Information, "Drive 0,1", "SMART Caution");
const TChange kSmartGood = Change(K::SmartBetter, S::Information, "Drive 0,1", "SMART Good");

TNotifyPolicySettings Policy(S min, int64_t repeat = 24 * 3600, int64_t max_per_hour = 12) {
  return {min, repeat, max_per_hour};
}

const std::vector<TScenario> kScenarios = {
    {"ProblemOnlyAtMinSeverity", Policy(S::Critical),
     {{0, Warn, {kD3NotGood, kTask}, ""}, {10, Crit, {kD1Failed}, "problem:1"}}},
    {"InformationIsNoProblemAtWarning", Policy(S::Warning), {{0, OK, {kTask, kD1Appeared}, ""}}},
    {"ReminderEachRepeatPeriodNotBefore", Policy(S::Warning, 3600),
     {{0, Crit, {kD1Failed}, "problem:1"},
      {3599, Crit, {}, ""},
      {3600, Crit, {}, "reminder:0"},
      {7199, Crit, {kTask}, ""},
      {7200, Crit, {}, "reminder:0"},
      {7300, OK, {kD1Good}, "resolved:1"},
      {20000, OK, {}, ""}}},
    // Times ahead of a clock set back neither put off reminders nor use up the hour.
    {"ClockSetBack", Policy(S::Warning, 3600, 1),
     {{100000, Crit, {kD1Failed}, "problem:1"}, {50, Crit, {}, ""}, {3650, Crit, {}, "reminder:0"}}},
    {"NoReminderWhenRepeatIsZero", Policy(S::Warning, 0), {{0, Crit, {kD1Failed}, "problem:1"}, {99999, Crit, {}, ""}}},
    // Opened by its own cycle, then resolved (not reminded) once the verdict is OK.
    {"ResolvedByVerdictOk", Policy(S::Warning, 3600),
     {{0, OK, {kD3Gone}, "problem:1"}, {9999, OK, {}, "resolved:0"}, {19999, OK, {}, ""}}},
    {"NotResolvedWhileAnotherObjectIsBad", Policy(S::Warning),
     {{0, Crit, {kD1Failed, kD2Failed}, "problem:2"},
      {10, Crit, {kD1Good}, ""},
      {20, Crit, {kD2Good}, "resolved:1"}}},
    {"SmartResolvedOnlyWhenGood", Policy(S::Warning),
     {{0, Crit, {kSmartBad}, "problem:1"}, {10, Warn, {kSmartCaution}, ""}, {20, Warn, {kSmartGood}, "resolved:1"}}},
    {"MinCriticalStillResolves", Policy(S::Critical),
     {{0, Crit, {kD1Failed}, "problem:1"}, {10, Warn, {kD1Good, kD3NotGood}, "resolved:2"}}},
    {"InformationNeverOpens", Policy(S::Information),
     {{0, OK, {kD1Appeared}, "problem:1"}, {10, OK, {kD1Good}, "problem:1"}, {20, OK, {}, ""}}},
    // At information the change back to good is told once, as "resolved", not also as a problem.
    {"GoodAgainAtInformationIsOnlyResolved", Policy(S::Information),
     {{0, Crit, {kD1Failed}, "problem:1"}, {10, OK, {kD1Good}, "resolved:1"}}},
    {"ResolvedThenTheNewProblem", Policy(S::Warning),
     {{0, Crit, {kD1Failed}, "problem:1"}, {10, Crit, {kD1Good, kD2Failed}, "resolved:2 problem:2"},
      {20, OK, {kD2Good}, "resolved:1"}}},
    // Beyond two an hour: held, joined, released once the first one is an hour old.
    {"HourlyLimitHoldsAndJoins", Policy(S::Warning, 0, 2),
     {{0, Crit, {kD1Failed}, "problem:1"},
      {10, Crit, {kD2Failed}, "problem:1"},
      {20, Crit, {kD3NotGood}, ""},
      {30, Crit, {kD1Good, kD3Gone}, ""},
      {3599, Crit, {}, ""},
      {3600, Crit, {}, "problem:3"},
      {3610, OK, {kD2Good}, "resolved:1"},
      {3620, OK, {kD1Failed}, ""},
      {7200, Crit, {}, "problem:1"}}},
};

// Every scenario runs twice: in one process, and restarted (memory saved and loaded) before
// every step; both must tell the same.
TEST(NotifyPolicyTest, ScenariosTellTheExpectedMessages) {
  for (const bool restart : {false, true}) {
    for (const TScenario& scenario : kScenarios) {
      TNotifyMemory memory;
      for (const TStep& step : scenario.Steps) {
        SCOPED_TRACE(std::string(scenario.Name) + (restart ? " restarted" : "") + " at " + std::to_string(step.Time));
        if (restart) {
          TNotifyMemory loaded;
          ASSERT_TRUE(TNotifyMemory::Load(memory.Save(), loaded));
          ASSERT_EQ(loaded.Save(), memory.Save());
          memory = loaded;
        }
        const std::string before = memory.Verdict;
        const TNotifyCycle cycle{Verdict(step.Level), step.Changes, step.Time, step.Time + 3600};
        const std::vector<TNotifyMessage> sent = DecideNotifications(memory, scenario.Settings, cycle);
        EXPECT_EQ(Told(sent), step.Expected);
        for (const TNotifyMessage& m : sent)
          if (m.Time == step.Time) EXPECT_EQ(m.PreviousVerdict, before);
        EXPECT_EQ(memory.Verdict, HealthWord(step.Level));
      }
    }
  }
}

TEST(NotifyPolicyTest, LoadRefusesLinesItDidNotWrite) {
  const std::vector<std::vector<std::string>> garbage = {
      {"notify\tverdict\tMaybe"},          {"notify\ttold\tsoon"},
      {"notify\tsent\t-5"},                {"notify\topen\t1\tDrive 0,1"},
      {"notify\topen\tx\tDrive\tline"},    {"notify\theld\tevent\tproblem"},
      {"notify\tweather\tfine"},           {"controller 1"},
      {"notify"},                          {"notify\ttold\t99999999999999999999999"},
      {"notify\theld\tverdict\tCritical"}, std::vector<std::string>(4000, "notify\tsent\t1")};
  for (const auto& lines : garbage) {
    SCOPED_TRACE(lines.front());
    TNotifyMemory memory;
    memory.Verdict = "OK";
    std::vector<std::string> with = {"notify\tverdict\tCritical", "notify\topen\t1\tDrive 0,1\tfailed"};
    with.insert(with.end(), lines.begin(), lines.end());
    EXPECT_FALSE(TNotifyMemory::Load(with, memory));
    EXPECT_EQ(memory.Save(), TNotifyMemory().Save());
  }
}

TNotifyMessage Message(TNotifyEvent event, std::vector<TChange> changes, uint64_t left_out = 0) {
  TNotifyMessage m;
  m.Event = event;
  m.Verdict = "Critical";
  m.PreviousVerdict = "OK";
  for (const TChange& c : changes) m.Changes.push_back(NotifyChangeOf(c, 100, 3700));
  m.LeftOut = left_out;
  m.Reasons = {{"Warning", "Backup unit", "Charging"}, {"Critical", "Drive 0,1", "Failed"}, {"Critical", "X", "Y"}};
  return m;
}

TEST(NotifyMessageTest, Summary) {
  TChange hostile = kD2Failed;
  hostile.Text = "Drive\t0,2\r\n" + std::string(600, 'x');
  const struct {
    TNotifyMessage Message;
    std::string Expected;
  } cases[] = {
      {Message(TNotifyEvent::Problem, {kTask, kD1Failed, kD2Failed}),
       "Critical: Drive 0,1: Failed (and 2 more changes)"},
      {Message(TNotifyEvent::Resolved, {kD1Good}, 1), "Critical: Drive 0,1: Online (and 1 more change)"},
      {Message(TNotifyEvent::Problem, {kD1Failed}), "Critical: Drive 0,1: Failed"},
      {Message(TNotifyEvent::Reminder, {}), "Still Critical: Drive 0,1: Failed (and 2 more findings)"},
      {Message(TNotifyEvent::Test, {}), "Test message: the verdict is Critical"},
      {Message(TNotifyEvent::Problem, {kTask, hostile}),
       "Critical: Drive 0,2  " + std::string(456, 'x') + "... (and 1 more change)"},  // 500 bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Message.Summary(), c.Expected);
    EXPECT_LE(c.Message.Summary().size(), kMaxSummaryBytes);
  }
}

TEST(NotifyMessageTest, JoinKeepsTheEarliestPreviousAndTheNewestChanges) {
  TNotifyMessage joined = Message(TNotifyEvent::Problem, {kD1Failed});
  TNotifyMessage later = Message(TNotifyEvent::Reminder, std::vector<TChange>(TNotifyMessage::kMaxChanges, kD2Good), 3);
  later.Verdict = "OK";
  later.PreviousVerdict = "Critical";
  later.Reasons.clear();
  joined.Join(later);
  EXPECT_EQ(joined.Event, TNotifyEvent::Problem);
  EXPECT_EQ(joined.Verdict, "OK");
  EXPECT_EQ(joined.PreviousVerdict, "OK");
  EXPECT_TRUE(joined.Reasons.empty());
  EXPECT_EQ(joined.Changes.size(), TNotifyMessage::kMaxChanges);
  EXPECT_EQ(joined.LeftOut, 4u);  // the first change and the later's three
  EXPECT_EQ(joined.Changes.front().Line, kD2Good.Text);

  TNotifyMessage reminder = Message(TNotifyEvent::Reminder, {});
  reminder.Join(Message(TNotifyEvent::Resolved, {}));
  EXPECT_EQ(reminder.Event, TNotifyEvent::Resolved);
}

TEST(NotifyMessageTest, KeysRoundTripWithHostileValues) {
  TChange hostile = kD1Failed;
  hostile.Object = "Drive\t0,1\r\nevent=test";
  hostile.Serial = std::string(5000, 's');
  hostile.Text = "line\x01\x7f";
  TNotifyMessage message = Message(TNotifyEvent::Resolved, {hostile, kD2Good}, 7);
  message.Reasons.push_back({"Critical", "a\tb", "c\nd"});
  TNotifyMessage read;
  ASSERT_TRUE(TNotifyMessage::FromKeys(message.ToKeys(), read));
  EXPECT_EQ(read.ToKeys(), message.ToKeys());
  EXPECT_EQ(read.Changes[0].Object, "Drive 0,1  event=test");
  EXPECT_EQ(read.Changes[0].Serial.size(), TNotifyMessage::kMaxTextBytes);
  EXPECT_EQ(read.Changes[0].Line, "line  ");
  EXPECT_EQ(read.Reasons.back().Object, "a b");
  EXPECT_EQ(read.LeftOut, 7u);

  // Unreadable changes and reasons are skipped, numbers out of range ignored.
  auto keys = message.ToKeys();
  keys.insert(keys.end(), {{"change", "1\t2\tcritical\t10\t1\tonly nine fields\ts\tf\tt"},
                           {"change", "1\t2\tsevere\t10\t1\to\ts\tf\tt\tline"},
                           {"change", "1\t2\tcritical\t10\t99999\to\ts\tf\tt\tline"},
                           {"reason", "Bad\to\tt"},
                           {"time", "99999999999999999999"},
                           {"left_out", "-1"}});
  ASSERT_TRUE(TNotifyMessage::FromKeys(keys, read));
  EXPECT_EQ(read.ToKeys(), message.ToKeys());

  for (const char* verdict : {"", "Fine", "unknown"}) {
    keys = message.ToKeys();
    keys[1].second = verdict;
    EXPECT_FALSE(TNotifyMessage::FromKeys(keys, read)) << verdict;
  }
  keys[0].second = "test";
  EXPECT_TRUE(TNotifyMessage::FromKeys(keys, read));  // a test of a monitor that knows no verdict yet
  keys[0].second = "alarm";
  EXPECT_FALSE(TNotifyMessage::FromKeys(keys, read));
}

}  // namespace
}  // namespace kv

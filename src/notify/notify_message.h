#pragma once
// One notification as every way of telling it sees it: the command, the webhook and the
// test switch. Which messages are made, and when, is notify/notify_policy.h; how the
// webhook writes one is notify/webhook_payload.h.
//
//   problem   changes at or above [notify] min_severity
//   reminder  the verdict stays Warning or Critical [notify] repeat_hours after the last
//             problem or reminder; it tells the current reasons
//   resolved  every object a told problem named is good again, or the verdict is OK
//   test      korvane_monitor --test-notify
//
// A message is bounded: at most kMaxChanges changes (the newest; the rest are counted in
// LeftOut) and kMaxReasons reasons, each text cut at kMaxTextBytes. Pure; any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "health/changes.h"
#include "health/verdict.h"

namespace kv {

enum class TNotifyEvent { Problem, Reminder, Resolved, Test };

// "problem", "reminder", "resolved", "test".
const char* NotifyEventName(TNotifyEvent event);
bool ParseNotifyEvent(const std::string& text, TNotifyEvent& event);

// One change as a message tells it.
struct TNotifyChange {
  int64_t Time = 0;       // Unix seconds (UTC)
  int64_t LocalTime = 0;  // the same in local time, for the command's change lines
  TSeverity Severity = TSeverity::Information;
  int EventId = 0;
  int Controller = 0;  // 0: not known
  std::string Object, Serial, From, To;
  std::string Line;  // the change's text: "Drive 0,7 (S/N WD-1): Online -> Failed"
};

// One reason of the verdict: "Critical", "Drive 0,7 (S/N WD-1)", "Failed".
struct TNotifyReason {
  std::string Level, Object, Text;
};

// A summary line of at most kMaxSummaryBytes: `head` with control characters as blanks,
// then " (and N more <noun>s)" when `more` is above 0 ("(and 1 more change)"); a long head
// is cut with "..." before that part. The command's KORVANE_SUMMARY is made by it too.
constexpr size_t kMaxSummaryBytes = 500;
std::string NotifySummaryLine(const std::string& head, uint64_t more, const char* noun);

TNotifyChange NotifyChangeOf(const TChange& change, int64_t utc_now, int64_t local_now);
std::vector<TNotifyReason> NotifyReasonsOf(const THealthVerdict& verdict);

struct TNotifyMessage {
  static constexpr size_t kMaxChanges = 500;
  static constexpr size_t kMaxReasons = 200;
  static constexpr size_t kMaxTextBytes = 1000;
  // Bounds of what is read back: a time after the year 9999, a controller number above
  // this, is none this program wrote.
  static constexpr int64_t kMaxTime = 253402300799;
  static constexpr int kMaxController = 1000;

  TNotifyEvent Event = TNotifyEvent::Problem;
  std::string Verdict;          // "OK", "Warning", "Critical"
  std::string PreviousVerdict;  // before the changes told; empty when not known
  int64_t Time = 0;             // Unix seconds (UTC) when it was made
  int64_t LocalTime = 0;
  std::vector<TNotifyChange> Changes;  // oldest first
  uint64_t LeftOut = 0;                // changes told but not listed
  std::vector<TNotifyReason> Reasons;  // the verdict's reasons when it was made

  // One line, at most 500 bytes:
  //   problem, resolved  "Critical: Drive 0,0 (...): Online -> Failed (and 2 more changes)"
  //   reminder           "Still Critical: Drive 0,0 (S/N A1): Failed (and 1 more finding)"
  //   test               "Test message: the verdict is OK"
  std::string Summary() const;

  // Folds a later message into this one (the hourly limit): its verdict, time and reasons
  // replace ours, its changes follow ours. The event of the two: a problem stays a problem,
  // a reminder takes the later one's.
  void Join(const TNotifyMessage& later);

  // As "key=value" pairs, for the outbox and the saved state, and back. FromKeys is false
  // without a known event and verdict; a change or reason it cannot read is skipped, other
  // keys are ignored; hostile values are bounded, never trusted.
  std::vector<std::pair<std::string, std::string>> ToKeys() const;
  static bool FromKeys(const std::vector<std::pair<std::string, std::string>>& keys, TNotifyMessage& message);
};

// One field of a line: `text` cut at `max_bytes`, each control character (tab, CR, LF too)
// a blank.
std::string NotifyField(std::string_view text, size_t max_bytes = TNotifyMessage::kMaxTextBytes);
// A whole integer within [low, high] (as base/ini_file.h reads one); false for anything else.
bool ParseNotifyNumber(std::string_view text, int64_t low, int64_t high, int64_t& value);

}  // namespace kv

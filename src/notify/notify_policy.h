#pragma once
// When to notify: which messages each collection makes from its changes and the verdict.
//
//   problem   a change at or above min_severity: the message tells every change of the
//             collection. Each object such a change names (controller and object) is
//             "open" from then on.
//   resolved  once, when every open object has had a change back to good (drive, device,
//             backup unit or controller good again, appeared again, SMART back to Good,
//             collection recovered), or the verdict is OK. Whatever min_severity says.
//   reminder  while objects are open and the verdict is Warning or Critical, one each
//             repeat period after the last problem or reminder, with the current reasons;
//             never when the period is 0.
//
// At most MaxPerHour messages in any 60 minutes: what comes beyond is folded into one held
// message (TNotifyMessage::Join), sent by the first collection the hour allows it.
//
// The memory of it (the verdict, the open objects, when the last messages went, the held
// message) is kept in the saved state as "notify" lines, so reminders and "resolved" work
// across a restart. Pure; the collecting thread.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "health/changes.h"
#include "health/verdict.h"
#include "notify/notify_message.h"

namespace kv {

struct TNotifyPolicySettings {
  TSeverity MinSeverity = TSeverity::Warning;
  int64_t RepeatSeconds = 24 * 3600;  // 0: no reminders
  int64_t MaxPerHour = 12;
};

// An object a told problem named, not yet good again.
struct TOpenProblem {
  int Controller = 0;
  std::string Object;  // TChange::Object
  std::string Line;    // the change that opened it
};

struct TNotifyMemory {
  static constexpr size_t kMaxOpen = 1000;
  static constexpr size_t kMaxSent = 3600;  // [notify] max_per_hour at most

  std::string Verdict;  // the verdict of the last collection seen; empty before the first
  std::vector<TOpenProblem> Open;
  int64_t LastTold = 0;           // UTC of the last problem or reminder
  std::deque<int64_t> SentTimes;  // UTC of the messages sent in the last hour
  std::optional<TNotifyMessage> Held;

  // As lines without their line ends, each starting "notify" and a tab, and back. Load is
  // false (and leaves `memory` empty) on lines it did not write.
  std::vector<std::string> Save() const;
  static bool Load(const std::vector<std::string>& lines, TNotifyMemory& memory);
};

// What one collection gives the policy.
struct TNotifyCycle {
  THealthVerdict Verdict;  // over every controller watched
  std::vector<TChange> Changes;
  int64_t UtcNow = 0;
  int64_t LocalNow = 0;
};

// The messages to send now, oldest first; `memory` is updated as if they were sent.
std::vector<TNotifyMessage> DecideNotifications(TNotifyMemory& memory, const TNotifyPolicySettings& settings,
                                                const TNotifyCycle& cycle);

}  // namespace kv

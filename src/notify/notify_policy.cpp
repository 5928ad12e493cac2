#include "notify/notify_policy.h"

#include <algorithm>

namespace kv {
namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kMaxTime = TNotifyMessage::kMaxTime;
constexpr int64_t kMaxController = TNotifyMessage::kMaxController;
constexpr char kPrefix[] = "notify\t";

bool AtLeast(TSeverity severity, TSeverity min) { return static_cast<int>(severity) >= static_cast<int>(min); }

// A change that says its object is good again.
bool BackToGood(const TChange& change) {
  switch (change.Kind) {
    case TChangeKind::DriveGood:
    case TChangeKind::DeviceGood:
    case TChangeKind::BackupUnitGood:
    case TChangeKind::ControllerGood:
    case TChangeKind::CollectionRecovered:
    case TChangeKind::DriveAppeared:
    case TChangeKind::DeviceAppeared:
    case TChangeKind::ControllerAppeared: return true;
    case TChangeKind::SmartBetter: return change.To == "SMART Good";
    default: return false;
  }
}

bool Names(const TOpenProblem& open, int controller, const std::string& object) {
  return open.Controller == controller && open.Object == object;
}

TNotifyMessage MessageOf(TNotifyEvent event, const std::string& previous, const TNotifyCycle& cycle) {
  TNotifyMessage message;
  message.Event = event;
  message.Verdict = HealthWord(cycle.Verdict.Level);
  message.PreviousVerdict = previous;
  message.Time = cycle.UtcNow;
  message.LocalTime = cycle.LocalNow;
  message.Reasons = NotifyReasonsOf(cycle.Verdict);
  if (event == TNotifyEvent::Reminder) return message;
  const size_t first = cycle.Changes.size() > TNotifyMessage::kMaxChanges
                           ? cycle.Changes.size() - TNotifyMessage::kMaxChanges
                           : 0;
  message.LeftOut = first;
  for (size_t i = first; i < cycle.Changes.size(); ++i)
    message.Changes.push_back(NotifyChangeOf(cycle.Changes[i], cycle.UtcNow, cycle.LocalNow));
  return message;
}

// The changes of a told problem name the objects that stay open until good again.
void OpenProblems(TNotifyMemory& memory, const std::vector<TChange>& changes) {
  for (const TChange& c : changes) {
    if (!AtLeast(c.Severity, TSeverity::Warning) || c.Object.empty()) continue;
    if (memory.Open.size() >= TNotifyMemory::kMaxOpen) return;
    const bool known = std::any_of(memory.Open.begin(), memory.Open.end(),
                                   [&](const TOpenProblem& o) { return Names(o, c.Controller, c.Object); });
    if (!known)
      memory.Open.push_back({c.Controller, NotifyField(c.Object), NotifyField(c.Text)});
  }
}

// The hourly limit: what the last hour allows goes now, the rest waits joined in Held.
std::vector<TNotifyMessage> Release(TNotifyMemory& memory, const TNotifyPolicySettings& settings,
                                    std::vector<TNotifyMessage> made, int64_t now) {
  // A time ahead of now (the clock was set back) counts as gone, so nothing waits for it.
  std::erase_if(memory.SentTimes, [&](int64_t t) { return t <= now - kHour || t > now; });
  const size_t max = static_cast<size_t>(std::max<int64_t>(settings.MaxPerHour, 1));
  while (memory.SentTimes.size() > max) memory.SentTimes.pop_front();

  std::vector<TNotifyMessage> queue;
  if (memory.Held) {
    for (const TNotifyMessage& m : made) memory.Held->Join(m);
    queue.push_back(std::move(*memory.Held));
    memory.Held.reset();
  } else {
    queue = std::move(made);
  }
  std::vector<TNotifyMessage> sent;
  for (TNotifyMessage& m : queue) {
    if (memory.SentTimes.size() < max) {
      memory.SentTimes.push_back(now);
      sent.push_back(std::move(m));
    } else if (memory.Held) {
      memory.Held->Join(m);
    } else {
      memory.Held = std::move(m);
    }
  }
  return sent;
}

}  // namespace

std::vector<TNotifyMessage> DecideNotifications(TNotifyMemory& memory, const TNotifyPolicySettings& settings,
                                                const TNotifyCycle& cycle) {
  const std::string previous = memory.Verdict;
  const THealth level = cycle.Verdict.Level;
  const int64_t now = cycle.UtcNow;
  std::vector<TNotifyMessage> made;
  // A clock set back (or a hostile saved state) must not put off reminders for years.
  memory.LastTold = std::min(memory.LastTold, now);

  const bool had_open = !memory.Open.empty();
  for (const TChange& c : cycle.Changes) {
    if (BackToGood(c))
      std::erase_if(memory.Open, [&](const TOpenProblem& o) { return Names(o, c.Controller, c.Object); });
  }
  // Before this cycle's own problem opens anything: what it opens is not resolved by it.
  if (had_open && (memory.Open.empty() || level == THealth::OK)) {
    made.push_back(MessageOf(TNotifyEvent::Resolved, previous, cycle));
    memory.Open.clear();
  }
  // With min_severity information, the change that resolved is told by "resolved" alone.
  const bool resolved = !made.empty();
  const bool problem = std::any_of(cycle.Changes.begin(), cycle.Changes.end(), [&](const TChange& c) {
    return AtLeast(c.Severity, settings.MinSeverity) && !(resolved && BackToGood(c));
  });
  if (problem) {
    made.push_back(MessageOf(TNotifyEvent::Problem, previous, cycle));
    OpenProblems(memory, cycle.Changes);
    memory.LastTold = now;
  } else if (!memory.Open.empty() && level != THealth::OK && settings.RepeatSeconds > 0 &&
             now - memory.LastTold >= settings.RepeatSeconds) {
    made.push_back(MessageOf(TNotifyEvent::Reminder, previous, cycle));
    memory.LastTold = now;
  }
  memory.Verdict = HealthWord(level);
  return Release(memory, settings, std::move(made), now);
}

std::vector<std::string> TNotifyMemory::Save() const {
  std::vector<std::string> lines;
  lines.push_back(kPrefix + std::string("verdict\t") + NotifyField(Verdict));
  lines.push_back(kPrefix + std::string("told\t") + std::to_string(LastTold));
  for (int64_t t : SentTimes) lines.push_back(kPrefix + std::string("sent\t") + std::to_string(t));
  for (const TOpenProblem& o : Open)
    lines.push_back(kPrefix + std::string("open\t") + std::to_string(o.Controller) + "\t" + NotifyField(o.Object) +
                    "\t" + NotifyField(o.Line));
  if (Held) {
    for (const auto& [key, value] : Held->ToKeys())
      lines.push_back(kPrefix + std::string("held\t") + NotifyField(key) + "\t" + value);
  }
  return lines;
}

bool TNotifyMemory::Load(const std::vector<std::string>& lines, TNotifyMemory& memory) {
  memory = TNotifyMemory();
  // What a held message writes at most, so a hostile file cannot grow it.
  constexpr size_t kMaxHeldKeys = 6 + TNotifyMessage::kMaxChanges + TNotifyMessage::kMaxReasons;
  TNotifyMemory m;
  std::vector<std::pair<std::string, std::string>> held;
  for (const std::string& line : lines) {
    if (line.rfind(kPrefix, 0) != 0) return false;
    const std::string_view rest = std::string_view(line).substr(sizeof(kPrefix) - 1);
    const size_t tab = rest.find('\t');
    if (tab == std::string_view::npos) return false;
    const std::string_view kind = rest.substr(0, tab), value = rest.substr(tab + 1);
    int64_t number = 0;
    if (kind == "verdict") {
      if (!value.empty() && value != "OK" && value != "Warning" && value != "Critical") return false;
      m.Verdict = std::string(value);
    } else if (kind == "told") {
      if (!ParseNotifyNumber(value, 0, kMaxTime, m.LastTold)) return false;
    } else if (kind == "sent") {
      if (!ParseNotifyNumber(value, 0, kMaxTime, number) || m.SentTimes.size() >= kMaxSent) return false;
      m.SentTimes.push_back(number);
    } else if (kind == "open") {
      // controller TAB object TAB line
      const size_t a = value.find('\t'), b = a == std::string_view::npos ? a : value.find('\t', a + 1);
      if (b == std::string_view::npos || value.find('\t', b + 1) != std::string_view::npos ||
          !ParseNotifyNumber(value.substr(0, a), 0, kMaxController, number) || a + 1 == b ||
          m.Open.size() >= kMaxOpen)
        return false;
      m.Open.push_back({static_cast<int>(number), NotifyField(value.substr(a + 1, b - a - 1)),
                        NotifyField(value.substr(b + 1))});
    } else if (kind == "held") {
      const size_t key = value.find('\t');
      if (key == std::string_view::npos || held.size() >= kMaxHeldKeys) return false;
      held.emplace_back(std::string(value.substr(0, key)), std::string(value.substr(key + 1)));
    } else {
      return false;
    }
  }
  if (!held.empty()) {
    TNotifyMessage message;
    if (!TNotifyMessage::FromKeys(held, message)) return false;
    m.Held = std::move(message);
  }
  memory = std::move(m);
  return true;
}

}  // namespace kv

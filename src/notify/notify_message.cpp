#include "notify/notify_message.h"

#include <algorithm>

#include "base/ini_file.h"
#include "notify/notify_settings.h"

namespace kv {
namespace {

constexpr int64_t kMaxTime = TNotifyMessage::kMaxTime;
constexpr int64_t kMaxCount = int64_t{1} << 40;
constexpr int kMaxEventId = 65535;
constexpr int kMaxController = TNotifyMessage::kMaxController;
constexpr size_t kChangeFields = 10;
constexpr size_t kReasonFields = 3;

int Rank(const std::string& level) {
  if (level == HealthWord(THealth::Critical)) return 2;
  if (level == HealthWord(THealth::Warning)) return 1;
  return 0;
}

bool IsVerdictWord(const std::string& word) {
  return word == HealthWord(THealth::OK) || word == HealthWord(THealth::Warning) ||
         word == HealthWord(THealth::Critical);
}

std::vector<std::string_view> SplitTabs(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t tab = text.find('\t');
    fields.push_back(text.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    text.remove_prefix(tab + 1);
  }
}

std::string JoinFields(std::initializer_list<std::string_view> fields) {
  std::string line;
  for (std::string_view field : fields) line += NotifyField(field) + '\t';
  line.pop_back();
  return line;
}

// "1765249800\t1765260600\tcritical\t10\t1\tDrive 0,7 (...)\tWD-1\tOnline\tFailed\tDrive 0,7 (...): ..."
bool ParseChange(std::string_view value, TNotifyChange& change) {
  const std::vector<std::string_view> f = SplitTabs(value);
  if (f.size() != kChangeFields) return false;
  int64_t event_id = 0, controller = 0;
  if (!ParseNotifyNumber(f[0], 0, kMaxTime, change.Time) || !ParseNotifyNumber(f[1], 0, kMaxTime, change.LocalTime) ||
      !ParseSeverity(std::string(f[2]), change.Severity) || !ParseNotifyNumber(f[3], 0, kMaxEventId, event_id) ||
      !ParseNotifyNumber(f[4], 0, kMaxController, controller))
    return false;
  change.EventId = static_cast<int>(event_id);
  change.Controller = static_cast<int>(controller);
  change.Object = NotifyField(f[5]);
  change.Serial = NotifyField(f[6]);
  change.From = NotifyField(f[7]);
  change.To = NotifyField(f[8]);
  change.Line = NotifyField(f[9]);
  return true;
}

// "Critical\tDrive 0,7 (S/N WD-1)\tFailed"
bool ParseReason(std::string_view value, TNotifyReason& reason) {
  const std::vector<std::string_view> f = SplitTabs(value);
  if (f.size() != kReasonFields || !IsVerdictWord(std::string(f[0]))) return false;
  reason = {std::string(f[0]), NotifyField(f[1]), NotifyField(f[2])};
  return true;
}

// Keeps the newest kMaxChanges, counting the others as left out.
void TrimChanges(std::vector<TNotifyChange>& changes, uint64_t& left_out) {
  if (changes.size() <= TNotifyMessage::kMaxChanges) return;
  const size_t drop = changes.size() - TNotifyMessage::kMaxChanges;
  changes.erase(changes.begin(), changes.begin() + static_cast<std::ptrdiff_t>(drop));
  left_out += drop;
}

}  // namespace

const char* NotifyEventName(TNotifyEvent event) {
  switch (event) {
    case TNotifyEvent::Problem: return "problem";
    case TNotifyEvent::Reminder: return "reminder";
    case TNotifyEvent::Resolved: return "resolved";
    case TNotifyEvent::Test: return "test";
  }
  return "problem";
}

bool ParseNotifyEvent(const std::string& text, TNotifyEvent& event) {
  for (TNotifyEvent e : {TNotifyEvent::Problem, TNotifyEvent::Reminder, TNotifyEvent::Resolved, TNotifyEvent::Test}) {
    if (text == NotifyEventName(e)) {
      event = e;
      return true;
    }
  }
  return false;
}

std::string NotifyField(std::string_view text, size_t max_bytes) {
  std::string field(text.substr(0, max_bytes));
  for (char& c : field)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return field;
}

bool ParseNotifyNumber(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  int64_t number = 0;
  if (!ParseIniInteger(text, number) || number < low || number > high) return false;
  value = number;
  return true;
}

std::string NotifySummaryLine(const std::string& head, uint64_t more, const char* noun) {
  std::string tail;
  if (more > 0) tail = " (and " + std::to_string(more) + " more " + noun + (more == 1 ? ")" : "s)");
  std::string line = NotifyField(head, head.size());
  if (line.size() + tail.size() > kMaxSummaryBytes) line = line.substr(0, kMaxSummaryBytes - tail.size() - 3) + "...";
  return line + tail;
}

TNotifyChange NotifyChangeOf(const TChange& change, int64_t utc_now, int64_t local_now) {
  const size_t max = TNotifyMessage::kMaxTextBytes;
  TNotifyChange told;
  told.Time = utc_now;
  told.LocalTime = local_now;
  told.Severity = change.Severity;
  told.EventId = EventIdOf(change.Kind);
  told.Controller = change.Controller;
  told.Object = change.Object.substr(0, max);
  told.Serial = change.Serial.substr(0, max);
  told.From = change.From.substr(0, max);
  told.To = change.To.substr(0, max);
  told.Line = change.Text.substr(0, max);
  return told;
}

std::vector<TNotifyReason> NotifyReasonsOf(const THealthVerdict& verdict) {
  const size_t max = TNotifyMessage::kMaxTextBytes;
  std::vector<TNotifyReason> reasons;
  for (const THealthReason& r : verdict.Reasons) {
    if (reasons.size() == TNotifyMessage::kMaxReasons) break;
    reasons.push_back({HealthWord(r.Level), r.Object.substr(0, max), r.Text.substr(0, max)});
  }
  return reasons;
}

std::string TNotifyMessage::Summary() const {
  if (Event == TNotifyEvent::Test) return NotifySummaryLine("Test message: the verdict is " + Verdict, 0, "");
  if (Event == TNotifyEvent::Reminder) {
    std::string head = "Still " + Verdict;
    if (Reasons.empty()) return NotifySummaryLine(head, 0, "");
    // The first of the most serious, as the pages list them.
    const TNotifyReason* worst = &Reasons.front();
    for (const TNotifyReason& r : Reasons)
      if (Rank(r.Level) > Rank(worst->Level)) worst = &r;
    for (const std::string* part : {&worst->Object, &worst->Text})
      if (!part->empty()) head += ": " + *part;
    return NotifySummaryLine(head, Reasons.size() - 1, "finding");
  }
  const uint64_t count = Changes.size() + LeftOut;
  if (Changes.empty()) return NotifySummaryLine(Verdict, count, "change");
  const TNotifyChange* worst = &Changes.front();
  for (const TNotifyChange& c : Changes)
    if (static_cast<int>(c.Severity) > static_cast<int>(worst->Severity)) worst = &c;
  return NotifySummaryLine(Verdict + ": " + worst->Line, count - 1, "change");
}

void TNotifyMessage::Join(const TNotifyMessage& later) {
  if (Event != TNotifyEvent::Problem) Event = later.Event;
  Verdict = later.Verdict;
  Time = later.Time;
  LocalTime = later.LocalTime;
  Reasons = later.Reasons;
  LeftOut = std::min<uint64_t>(LeftOut + later.LeftOut, kMaxCount);
  Changes.insert(Changes.end(), later.Changes.begin(), later.Changes.end());
  TrimChanges(Changes, LeftOut);
}

std::vector<std::pair<std::string, std::string>> TNotifyMessage::ToKeys() const {
  std::vector<std::pair<std::string, std::string>> keys = {
      {"event", NotifyEventName(Event)},        {"verdict", NotifyField(Verdict)},
      {"previous", NotifyField(PreviousVerdict)}, {"time", std::to_string(Time)},
      {"local_time", std::to_string(LocalTime)}, {"left_out", std::to_string(LeftOut)}};
  for (const TNotifyChange& c : Changes) {
    keys.emplace_back("change", JoinFields({std::to_string(c.Time), std::to_string(c.LocalTime),
                                            SeverityName(c.Severity), std::to_string(c.EventId),
                                            std::to_string(c.Controller), c.Object, c.Serial, c.From, c.To, c.Line}));
  }
  for (const TNotifyReason& r : Reasons) keys.emplace_back("reason", JoinFields({r.Level, r.Object, r.Text}));
  return keys;
}

bool TNotifyMessage::FromKeys(const std::vector<std::pair<std::string, std::string>>& keys, TNotifyMessage& message) {
  message = TNotifyMessage();
  TNotifyMessage m;
  bool event = false;
  int64_t number = 0;
  for (const auto& [key, value] : keys) {
    if (key == "event") {
      event = ParseNotifyEvent(value, m.Event);
    } else if (key == "verdict") {
      m.Verdict = NotifyField(value);
    } else if (key == "previous") {
      m.PreviousVerdict = IsVerdictWord(value) ? value : std::string();
    } else if (key == "time" && ParseNotifyNumber(value, 0, kMaxTime, number)) {
      m.Time = number;
    } else if (key == "local_time" && ParseNotifyNumber(value, 0, kMaxTime, number)) {
      m.LocalTime = number;
    } else if (key == "left_out" && ParseNotifyNumber(value, 0, kMaxCount, number)) {
      m.LeftOut = static_cast<uint64_t>(number);
    } else if (key == "change") {
      TNotifyChange change;
      if (ParseChange(value, change)) m.Changes.push_back(std::move(change));
      // Never more than a message holds: the entry may be hostile and long.
      if (m.Changes.size() >= 2 * kMaxChanges) TrimChanges(m.Changes, m.LeftOut);
    } else if (key == "reason" && m.Reasons.size() < kMaxReasons) {
      TNotifyReason reason;
      if (ParseReason(value, reason)) m.Reasons.push_back(std::move(reason));
    }
  }
  TrimChanges(m.Changes, m.LeftOut);
  m.LeftOut = std::min<uint64_t>(m.LeftOut, kMaxCount);
  const bool verdict = IsVerdictWord(m.Verdict) || (m.Event == TNotifyEvent::Test && m.Verdict == "unknown");
  if (!event || !verdict) return false;
  message = std::move(m);
  return true;
}

}  // namespace kv

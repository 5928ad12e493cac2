#include "health/changes.h"

#include <unordered_map>
#include <unordered_set>

#include "base/local_time_text.h"
#include "base/text_case.h"
#include "health/status_words.h"
#include "health/verdict.h"

namespace kv {

namespace {

constexpr char kSnapshotHeader[] = "korvane-monitor state 1";

bool IsGood(const std::string& state) {
  const TStatusClass c = ClassifyStatus(state);
  return c == TStatusClass::Good || c == TStatusClass::Spare || c == TStatusClass::NotFitted;
}

bool IsFailed(const std::string& state) { return ClassifyStatus(state) == TStatusClass::Failed; }

TChange Make(TChangeKind kind, TSeverity severity, std::string text) { return {kind, severity, std::move(text)}; }

// A change of one object: "<label>: <what>", with the object, its states and, for a drive its
// serial number named, kept apart for the notifications' documents.
TChange Make(TChangeKind kind, TSeverity severity, const std::string& label, const std::string& what,
             const std::string& from, const std::string& to) {
  TChange change{kind, severity, label + ": " + what};
  change.Object = label;
  change.From = from;
  change.To = to;
  // "Drive 0,7 (S/N WD-1, enclosure 0 slot 7)": the serial as printed; "-" is none.
  const size_t sn = label.rfind(" (S/N ");
  if (label.rfind("Drive ", 0) == 0 && sn != std::string::npos) {
    const size_t start = sn + 6;
    size_t end = label.find(", enclosure ", start);
    if (end == std::string::npos) end = label.size() - 1;
    if (end > start && label.compare(start, end - start, "-") != 0) change.Serial = label.substr(start, end - start);
  }
  return change;
}

std::string Arrow(const std::string& from, const std::string& to) {
  return (from.empty() ? "-" : from) + " -> " + (to.empty() ? "-" : to);
}

// The state change of an object that is there in both snapshots, `failed` and `notGood`
// being the kinds of its family.
void StateChange(std::vector<TChange>& out, const std::string& label, const std::string& from,
                 const std::string& to, TChangeKind failed, TChangeKind notGood, TChangeKind good) {
  if (from == to) return;
  const std::string what = Arrow(from, to);
  if (IsFailed(to))
    out.push_back(Make(failed, TSeverity::Critical, label, what, from, to));
  else if (IsGood(to))
    out.push_back(Make(good, TSeverity::Information, label, what, from, to));
  else
    out.push_back(Make(notGood, TSeverity::Warning, label, what, from, to));
}

// Items of `after` by key, so every lookup is constant time.
std::unordered_map<std::string, const TSnapshotItem*> ByKey(const std::vector<TSnapshotItem>& items) {
  std::unordered_map<std::string, const TSnapshotItem*> index;
  for (const TSnapshotItem& item : items) index.emplace(item.Key, &item);
  return index;
}

// Fields of a saved line are separated by tabs; a tab or line break inside a value (the
// listing is hostile input too) becomes a blank.
std::string Field(const std::string& value) {
  std::string out = value;
  for (char& c : out)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

}  // namespace

const char* SeverityName(TSeverity severity) {
  switch (severity) {
    case TSeverity::Information: return "information";
    case TSeverity::Warning: return "warning";
    case TSeverity::Critical: return "critical";
  }
  return "information";
}

int EventIdOf(TChangeKind kind) { return static_cast<int>(kind); }

TStateSnapshot TakeSnapshot(const TKVCore& core, const std::vector<TSmartVerdict>& smart) {
  TStateSnapshot s;
  const TKVResult& r = core.Result;
  s.Controller = r.Controller.Status;
  s.BackupUnit = r.Controller.BBUOverallStatus.empty() ? r.Controller.BBUStatus : r.Controller.BBUOverallStatus;

  const std::vector<bool> by_serials = DrivesKnownBySerial(r);
  int i = 0;
  for (const TResultHDD& d : r.HDDs) {
    const std::string serial = LowerCaseAscii(d.SerialNumber);
    const bool by_serial = by_serials[static_cast<size_t>(i)];
    std::string label = "Drive " + DrivePlace(d) + " (S/N " + (d.SerialNumber.empty() ? "-" : d.SerialNumber);
    if (d.Enclosure != nullptr)
      for (const TIntPair& slot : d.Enclosure->Slots)
        if (slot.Key == i) {
          label += ", enclosure " + d.Enclosure->Id + " slot " + std::to_string(slot.Value);
          break;
        }
    label += ")";
    const int grade = static_cast<size_t>(i) < smart.size() ? static_cast<int>(smart[static_cast<size_t>(i)].Grade) : 0;
    s.Drives.push_back({by_serial ? "sn:" + serial : "at:" + DrivePlace(d), label, d.State, grade});
    ++i;
  }
  for (const TResultLD& ld : r.LDs) {
    const std::string key = ld.HasUniqueId ? "ld-uid:" + ld.UniqueId : "ld:" + ld.Number;
    const std::string label = "Logical device " + ld.Number + (ld.Name.empty() ? "" : " (" + ld.Name + ")");
    s.Devices.push_back({key, label, ld.Status, static_cast<int>(ld.MissingMembers.size())});
  }
  for (const TResultZepLD& zep : r.ZepLDs) {
    const std::string label = "zepCache device " + zep.Number + (zep.DeviceName.empty() ? "" : " (" + zep.DeviceName + ")");
    s.Devices.push_back({"zep:" + zep.Number, label, zep.Status, static_cast<int>(zep.MissingMembers.size())});
  }
  for (int t = 0; t < core.Tasks.Count(); ++t) {
    const TKVTaskItem& task = core.Tasks.Item(t);
    const std::string label = "Task " + task.TaskId + " (" + task.CurrentOperation + " on logical device " +
                              task.LogicalDevice + ")";
    s.Tasks.push_back({task.TaskId, label, task.Status + (task.PercentageComplete.empty() ? "" : " " + task.PercentageComplete + "%"), 0});
  }
  return s;
}

std::vector<TChange> CompareSnapshots(const TStateSnapshot& before, const TStateSnapshot& after) {
  std::vector<TChange> out;
  if (before.Controller != after.Controller) {
    const std::string what = Arrow(before.Controller, after.Controller);
    if (IsGood(after.Controller))
      out.push_back(Make(TChangeKind::ControllerGood, TSeverity::Information, "Controller", what, before.Controller,
                         after.Controller));
    else
      out.push_back(Make(TChangeKind::ControllerBad, TSeverity::Critical, "Controller", what, before.Controller,
                         after.Controller));
  }
  StateChange(out, "Backup unit", before.BackupUnit, after.BackupUnit, TChangeKind::BackupUnitFailed,
              TChangeKind::BackupUnitNotGood, TChangeKind::BackupUnitGood);

  const auto devices_before = ByKey(before.Devices);
  const auto devices_after = ByKey(after.Devices);
  for (const TSnapshotItem& d : after.Devices) {
    const auto it = devices_before.find(d.Key);
    if (it == devices_before.end()) {
      out.push_back(Make(TChangeKind::DeviceAppeared, TSeverity::Information, d.Label, "appeared, " + d.State, "", d.State));
      continue;
    }
    StateChange(out, d.Label, it->second->State, d.State, TChangeKind::DeviceFailed, TChangeKind::DeviceNotGood,
                TChangeKind::DeviceGood);
    if (d.Extra > it->second->Extra)
      out.push_back(Make(TChangeKind::MemberMissing, TSeverity::Warning, d.Label,
                         std::to_string(d.Extra - it->second->Extra) + " member(s) went missing", it->second->State,
                         d.State));
  }
  for (const TSnapshotItem& d : before.Devices)
    if (devices_after.count(d.Key) == 0)
      out.push_back(Make(TChangeKind::DeviceGone, TSeverity::Warning, d.Label, "gone (was " + d.State + ")", d.State, ""));

  const auto drives_before = ByKey(before.Drives);
  const auto drives_after = ByKey(after.Drives);
  for (const TSnapshotItem& d : after.Drives) {
    const auto it = drives_before.find(d.Key);
    if (it == drives_before.end()) {
      out.push_back(Make(TChangeKind::DriveAppeared, TSeverity::Information, d.Label, "appeared, " + d.State, "", d.State));
      continue;
    }
    StateChange(out, d.Label, it->second->State, d.State, TChangeKind::DriveFailed, TChangeKind::DriveNotGood,
                TChangeKind::DriveGood);
    // A failed drive is also SMART Bad; its state line says enough.
    if (d.Extra != it->second->Extra && !IsFailed(d.State) && !IsFailed(it->second->State)) {
      const auto grade = [](int g) { return SmartGradeWord(static_cast<TSmartGrade>(g)); };
      const std::string from = std::string("SMART ") + grade(it->second->Extra);
      const std::string to = std::string("SMART ") + grade(d.Extra);
      const std::string what = from + " -> " + grade(d.Extra);
      if (d.Extra > it->second->Extra)
        out.push_back(Make(TChangeKind::SmartWorse,
                           d.Extra == static_cast<int>(TSmartGrade::Bad) ? TSeverity::Critical : TSeverity::Warning,
                           d.Label, what, from, to));
      else
        out.push_back(Make(TChangeKind::SmartBetter, TSeverity::Information, d.Label, what, from, to));
    }
  }
  for (const TSnapshotItem& d : before.Drives)
    if (drives_after.count(d.Key) == 0)
      out.push_back(Make(TChangeKind::DriveGone, TSeverity::Warning, d.Label, "gone (was " + d.State + ")", d.State, ""));

  const auto tasks_before = ByKey(before.Tasks);
  const auto tasks_after = ByKey(after.Tasks);
  for (const TSnapshotItem& t : after.Tasks)
    if (tasks_before.count(t.Key) == 0)
      out.push_back(Make(TChangeKind::TaskStarted, TSeverity::Information, t.Label, "started, " + t.State, "", t.State));
  for (const TSnapshotItem& t : before.Tasks)
    if (tasks_after.count(t.Key) == 0)
      out.push_back(Make(TChangeKind::TaskEnded, TSeverity::Information, t.Label, "ended, last " + t.State, t.State, ""));
  return out;
}

TChange CollectionFailingChange(const std::string& what) {
  TChange change = Make(TChangeKind::CollectionFailing, TSeverity::Warning, "Collection failing: " + what);
  change.Object = "Collection";
  return change;
}

TChange CollectionRecoveredChange() {
  TChange change = Make(TChangeKind::CollectionRecovered, TSeverity::Information, "Collection recovered");
  change.Object = "Collection";
  return change;
}

std::string SaveSnapshot(const TStateSnapshot& s) {
  std::string text = std::string(kSnapshotHeader) + "\n";
  text += "controller\t" + Field(s.Controller) + "\n";
  text += "bbu\t" + Field(s.BackupUnit) + "\n";
  const auto items = [&text](const char* kind, const std::vector<TSnapshotItem>& list) {
    for (const TSnapshotItem& item : list)
      text += std::string(kind) + "\t" + Field(item.Key) + "\t" + Field(item.Label) + "\t" + Field(item.State) + "\t" +
              std::to_string(item.Extra) + "\n";
  };
  items("drive", s.Drives);
  items("device", s.Devices);
  items("task", s.Tasks);
  return text + "end\n";
}

bool LoadSnapshot(const std::string& text, TStateSnapshot& snapshot) {
  snapshot = TStateSnapshot{};
  TStateSnapshot s;
  size_t start = 0;
  bool header = false, ended = false;
  while (start < text.size() && !ended) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // cut short
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!header) {
      if (line != kSnapshotHeader) return false;
      header = true;
      continue;
    }
    const std::vector<std::string> f = SplitTabs(line);
    if (f[0] == "end" && f.size() == 1) {
      ended = true;
    } else if (f[0] == "controller" && f.size() == 2) {
      s.Controller = f[1];
    } else if (f[0] == "bbu" && f.size() == 2) {
      s.BackupUnit = f[1];
    } else if ((f[0] == "drive" || f[0] == "device" || f[0] == "task") && f.size() == 5) {
      int extra = 0;
      if (f[4].empty() || f[4].size() > 3 || f[4].find_first_not_of("0123456789") != std::string::npos) return false;
      extra = std::stoi(f[4]);
      auto& list = f[0] == "drive" ? s.Drives : f[0] == "device" ? s.Devices : s.Tasks;
      list.push_back({f[1], f[2], f[3], extra});
    } else {
      return false;
    }
  }
  if (!ended || start != text.size()) return false;
  snapshot = std::move(s);
  return true;
}

namespace {
constexpr char kSnapshotsHeader[] = "korvane-monitor state 2";
constexpr char kSnapshotsEnd[] = "end of state";
constexpr char kNotePrefix[] = "notify\t";
constexpr size_t kMaxNotes = 20000;
}  // namespace

std::string SaveSnapshots(const TStateSnapshots& snapshots, const std::vector<std::string>& notes) {
  std::string text = std::string(kSnapshotsHeader) + "\n";
  for (const auto& [number, snapshot] : snapshots)
    text += "controller " + std::to_string(number) + "\n" + SaveSnapshot(snapshot);
  for (const std::string& note : notes)
    if (note.rfind(kNotePrefix, 0) == 0 && note.find('\n') == std::string::npos) text += note + "\n";
  return text + kSnapshotsEnd + "\n";
}

bool LoadSnapshots(const std::string& text, TStateSnapshots& snapshots, std::vector<std::string>* notes) {
  snapshots.clear();
  if (notes != nullptr) notes->clear();
  std::vector<std::string> read_notes;
  TStateSnapshot one;
  if (LoadSnapshot(text, one)) {
    snapshots[1] = std::move(one);  // the state of a version that watched one controller
    return true;
  }
  const std::string header = std::string(kSnapshotsHeader) + "\n";
  if (text.rfind(header, 0) != 0) return false;
  TStateSnapshots read;
  size_t at = header.size();
  const std::string end_line = std::string(kSnapshotsEnd) + "\n";
  while (text.compare(at, std::string::npos, end_line) != 0) {
    const size_t line_end = text.find('\n', at);
    if (line_end != std::string::npos && text.compare(at, sizeof kNotePrefix - 1, kNotePrefix) == 0) {
      if (read_notes.size() >= kMaxNotes) return false;
      read_notes.push_back(text.substr(at, line_end - at));
      at = line_end + 1;
      continue;
    }
    // "controller N", then one snapshot up to its own "end" line.
    if (line_end == std::string::npos || text.compare(at, 11, "controller ") != 0) return false;
    const std::string number_text = text.substr(at + 11, line_end - at - 11);
    if (number_text.size() != 1 || number_text[0] < '1' || number_text[0] > '8') return false;
    const int number = number_text[0] - '0';
    const size_t body = line_end + 1;
    const size_t end = text.find("\nend\n", body);
    if (end == std::string::npos || read.count(number) != 0) return false;
    at = end + 5;
    if (!LoadSnapshot(text.substr(body, at - body), read[number])) return false;
  }
  snapshots = std::move(read);
  if (notes != nullptr) *notes = std::move(read_notes);
  return true;
}

std::string ChangeFileLine(const TChange& change, int64_t now) {
  std::string line = change.Text;
  for (char& ch : line)
    if (ch == '\r' || ch == '\n') ch = ' ';  // one change, one line
  return LocalTimeText(now) + " " + SeverityName(change.Severity) + " " + line + "\r\n";
}

TChange ControllerSetChange(int controller, bool gone) {
  TChange change;
  change.Kind = gone ? TChangeKind::ControllerGone : TChangeKind::ControllerAppeared;
  change.Severity = gone ? TSeverity::Warning : TSeverity::Information;
  change.Text = "Controller " + std::to_string(controller) +
                (gone ? ": no longer reported by the utility" : ": reported by the utility, now watched");
  change.Controller = controller;
  change.Object = "Controller";
  return change;
}

}  // namespace kv

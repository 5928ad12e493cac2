#include "notify/notify_command.h"

#include <algorithm>

#include "base/core_log_writer.h"
#include "base/ini_file.h"
#include "platform/files.h"
#include "platform/write_failures.h"

namespace kv {
namespace {

using platform::ConsoleProcessResult;

constexpr char kChangesFileName[] = "korvane_monitor_notify.tmp";

const char* ResultText(ConsoleProcessResult result) {
  switch (result) {
    case ConsoleProcessResult::kCompleted: return "ended";
    case ConsoleProcessResult::kStartFailed: return "could not be started";
    case ConsoleProcessResult::kReadFailed: return "broke off";
    case ConsoleProcessResult::kTimedOut: return "timed out and was ended";
    case ConsoleProcessResult::kOutputCapped: return "wrote too much and was ended";
    case ConsoleProcessResult::kCancelled: return "was ended, the service stops";
  }
  return "?";
}

bool MoreSerious(TSeverity a, TSeverity b) { return static_cast<int>(a) > static_cast<int>(b); }

// The rule of a problem's summary (TNotifyMessage::Summary), for runs joined from several.
std::string SummaryOf(const std::string& verdict, const std::string& worst, uint64_t count) {
  return NotifySummaryLine(count > 0 ? verdict + ": " + worst : verdict, count > 1 ? count - 1 : 0, "change");
}

// "2025-12-09 03:10:00 critical Drive ...": the severity word and the text after it.
bool SplitChangeLine(const std::string& line, TSeverity& severity, std::string& text) {
  const size_t word = line.find(' ', line.find(' ') + 1);
  if (line.find(' ') == std::string::npos || word == std::string::npos) return false;
  const size_t end = line.find(' ', word + 1);
  if (end == std::string::npos || !ParseSeverity(line.substr(word + 1, end - word - 1), severity)) return false;
  text = line.substr(end + 1);
  return true;
}

constexpr int64_t kMaxCount = int64_t{1} << 40;

// "a notification of 3 changes", "a reminder": what a log line says a run tells.
std::string RunText(const TNotifyRun& run) {
  if (run.Count > 0 || run.Event == TNotifyEvent::Problem)
    return "a notification of " + std::to_string(run.Count) + (run.Count == 1 ? " change" : " changes");
  return std::string("a ") + NotifyEventName(run.Event);
}

}  // namespace

void TNotifyRun::Add(const TNotifyMessage& later) {
  TNotifyRun one;
  one.Event = later.Event;
  one.Verdict = later.Verdict;
  one.Time = later.Time;
  one.Count = later.Changes.size() + later.LeftOut;
  if (one.Count == 0) one.OwnSummary = later.Summary();
  for (const TNotifyChange& c : later.Changes) {
    if (&c == &later.Changes.front() || MoreSerious(c.Severity, one.WorstSeverity)) {
      one.WorstSeverity = c.Severity;
      one.WorstText = c.Line;
    }
    TChange change;
    change.Severity = c.Severity;
    change.Text = c.Line;
    std::string line = ChangeFileLine(change, c.LocalTime);
    line.resize(line.size() - 2);  // its CR LF
    one.Lines.push_back(std::move(line));
  }
  if (later.Changes.empty())
    for (const TNotifyReason& r : later.Reasons) one.Lines.push_back(NotifyField(r.Level + " " + r.Object + ": " + r.Text, kMaxLineBytes));
  Add(one);
}

void TNotifyRun::Add(const TNotifyRun& later) {
  if (Verdict.empty() || Event != TNotifyEvent::Problem) Event = later.Event;
  Verdict = later.Verdict;
  Time = std::max(Time, later.Time);
  OwnSummary = later.OwnSummary;
  // Reasons are the latest state only: they give way to anything later, and changes stay.
  if (Count == 0) Lines.clear();
  if (later.Count == 0 && Count > 0) return;
  if (Count == 0 || MoreSerious(later.WorstSeverity, WorstSeverity)) {
    WorstSeverity = later.WorstSeverity;
    WorstText = later.WorstText;
  }
  Count += later.Count;
  for (const std::string& line : later.Lines) {
    Lines.push_back(line.substr(0, kMaxLineBytes));
    if (Lines.size() > kMaxLines) Lines.pop_front();
  }
}

std::string TNotifyRun::Summary() const {
  if (Count == 0 && !OwnSummary.empty()) return OwnSummary;
  return SummaryOf(Verdict, WorstText, Count);
}

std::string TNotifyRun::ChangesText() const {
  std::string text;
  if (Count > Lines.size()) {
    // Dated like the first line it stands before, so the file stays in time order.
    const std::string stamp = !Lines.empty() && Lines.front().size() > 19 ? Lines.front().substr(0, 19) : "";
    text += (stamp.empty() ? std::string() : stamp + " ") + "information " + std::to_string(Count - Lines.size()) +
            " earlier changes left out here; korvane_monitor_changes.txt has them\r\n";
  }
  for (const std::string& line : Lines) text += line + "\r\n";
  return text;
}

TOutboxEntry TNotifyRun::ToOutbox() const {
  TOutboxEntry entry{"command", {}};
  entry.Keys = {{"event", NotifyEventName(Event)},
                {"verdict", Verdict},
                {"time", std::to_string(Time)},
                {"count", std::to_string(Count)},
                {"worst", std::string(SeverityName(WorstSeverity)) + " " + WorstText}};
  if (Count == 0) entry.Keys.emplace_back("summary", OwnSummary);
  for (const std::string& line : Lines) entry.Keys.emplace_back("change", line);
  return entry;
}

bool TNotifyRun::FromOutbox(const TOutboxEntry& entry, TNotifyRun& run) {
  run = TNotifyRun();
  int64_t count = 0;
  uint64_t changes = 0;
  bool worst = false;
  for (const auto& [key, value] : entry.Keys) {
    int64_t number = 0;
    if (key == "event") {
      if (!ParseNotifyEvent(value, run.Event)) return false;
    } else if (key == "verdict" && (value == "OK" || value == "Warning" || value == "Critical")) {
      run.Verdict = value;
    } else if (key == "summary") {
      run.OwnSummary = NotifyField(value, kMaxSummaryBytes);
    } else if (key == "time" && ParseIniInteger(value, number)) {
      run.Time = number;
    } else if (key == "count" && ParseIniInteger(value, number)) {
      count = std::clamp<int64_t>(number, 0, kMaxCount);
    } else if (key == "worst") {
      const size_t blank = value.find(' ');
      worst = blank != std::string::npos && ParseSeverity(value.substr(0, blank), run.WorstSeverity);
      if (worst) run.WorstText = value.substr(blank + 1, kMaxLineBytes);
    } else if (key == "change") {
      run.Lines.push_back(value.substr(0, kMaxLineBytes));
      if (run.Lines.size() > kMaxLines) run.Lines.pop_front();
      ++changes;
    }
  }
  // A run without changes keeps its reasons as lines; only a problem must tell a change.
  run.Count = count > 0 || run.Event == TNotifyEvent::Problem ? std::max<uint64_t>(changes, count) : 0;
  if (run.Verdict.empty() || (run.Count == 0 && run.Event == TNotifyEvent::Problem)) return false;
  if (run.Count == 0) {
    if (run.OwnSummary.empty()) run.OwnSummary = run.Verdict;
    return true;
  }
  if (!worst) {
    // Taken from the lines, as a hand-made entry may lack it.
    run.WorstSeverity = TSeverity::Information;
    for (const std::string& line : run.Lines) {
      TSeverity severity;
      std::string text;
      if (SplitChangeLine(line, severity, text) && (run.WorstText.empty() || MoreSerious(severity, run.WorstSeverity))) {
        run.WorstSeverity = severity;
        run.WorstText = text;
      }
    }
  }
  return true;
}

TNotifyCommand::TNotifyCommand(TNotifySettings settings, std::string folder, Runner runner, TOutbox* outbox)
    : settings_(std::move(settings)), folder_(std::move(folder)), runner_(std::move(runner)), outbox_(outbox) {
  if (!runner_) runner_ = platform::RunConsoleProcess;
}

TNotifyCommand::~TNotifyCommand() {
  cancel_.Cancel();
  if (thread_.joinable()) thread_.join();
}

void TNotifyCommand::Wait() {
  if (thread_.joinable()) thread_.join();
}

bool TNotifyCommand::Submit(const TNotifyMessage& message) {
  if (settings_.Command.empty()) return false;
  TNotifyRun run;
  run.Add(message);
  bool queued = false, started = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued = busy_;
    if (!waiting_) waiting_.emplace();
    waiting_->Add(run);
    // In the outbox before it runs: a crash from here on leaves it to the next start.
    SaveLocked();
    if (!queued && !cancel_.Cancelled()) started = StartLocked();
  }
  if (queued) WriteCoreLog("notify: the previous command still runs; " + RunText(run) + " waits for the next run");
  if (!started) WriteCoreLog("ERROR! notify: no thread for the notification command");
  return started;
}

platform::ConsoleProcessResult TNotifyCommand::RunOnce(const TNotifyMessage& message, int& exit_code,
                                                       std::string& output) {
  exit_code = -1;
  output.clear();
  if (settings_.Command.empty()) return ConsoleProcessResult::kStartFailed;
  TNotifyRun run;
  run.Add(message);
  return Run(run, exit_code, output);
}

void TNotifyCommand::Resume() {
  if (outbox_ == nullptr) return;
  const std::vector<TOutboxEntry> entries = outbox_->Take("command");
  if (entries.empty()) return;
  std::optional<TNotifyRun> resumed;
  size_t unreadable = 0;
  for (const TOutboxEntry& entry : entries) {
    TNotifyRun run;
    if (!TNotifyRun::FromOutbox(entry, run)) {
      ++unreadable;
    } else if (!resumed) {
      resumed = std::move(run);
    } else {
      resumed->Add(run);
    }
  }
  std::vector<std::string> lines;
  if (unreadable > 0)
    lines.push_back(std::string("ERROR! notify: ") + kOutboxFileName + ": " + std::to_string(unreadable) +
                    " lines or entries could not be read and are skipped");
  if (resumed && settings_.Command.empty()) {
    lines.push_back("notify: no command is set; " + RunText(*resumed) + " left from before the start is dropped");
  } else if (resumed) {
    lines.push_back("notify: running again " + RunText(*resumed) + " left from before the start");
  }
  bool started = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (resumed && !settings_.Command.empty()) {
      if (waiting_) resumed->Add(*waiting_);
      waiting_ = std::move(resumed);
      if (!busy_ && !cancel_.Cancelled()) started = StartLocked();
    }
    SaveLocked();
  }
  for (const std::string& line : lines) WriteCoreLog(line);
  if (!started) WriteCoreLog("ERROR! notify: no thread for the notification command");
}

bool TNotifyCommand::StartLocked() {
  // A thread that ended is joined; one that still runs would have kept busy_ set.
  if (thread_.joinable()) thread_.join();
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (...) {
    return false;
  }
  busy_ = true;
  return true;
}

void TNotifyCommand::SaveLocked() {
  if (outbox_ == nullptr) return;
  std::vector<TOutboxEntry> entries;
  if (running_) entries.push_back(running_->ToOutbox());
  if (waiting_) entries.push_back(waiting_->ToOutbox());
  outbox_->Replace("command", std::move(entries));
}

void TNotifyCommand::Work() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!waiting_ || cancel_.Cancelled()) {
        busy_ = false;
        return;
      }
      // The outbox already holds it: the same two runs, one of them now running.
      running_ = std::move(waiting_);
      waiting_.reset();
    }
    const ConsoleProcessResult result = Execute(*running_);
    std::lock_guard<std::mutex> lock(mutex_);
    // A run a stop cut off stays for the next start; every other end is an end.
    if (result != ConsoleProcessResult::kCancelled) running_.reset();
    SaveLocked();
  }
}

ConsoleProcessResult TNotifyCommand::Run(const TNotifyRun& run, int& exit_code, std::string& output) {
  const std::string file = folder_ + kChangesFileName;
  platform::WriteWholeFileNoted(file, run.ChangesText());
  platform::ConsoleProcessLimits limits;
  limits.timeout_ms = settings_.TimeoutSeconds * 1000;
  limits.max_output = TNotifySettings::kMaxLoggedOutput;
  limits.drain_output = true;
  limits.cancel = &cancel_;
  exit_code = -1;
  limits.exit_code = &exit_code;
  limits.environment = {std::string("KORVANE_EVENT=") + NotifyEventName(run.Event),
                        "KORVANE_VERDICT=" + run.Verdict, "KORVANE_CHANGE_COUNT=" + std::to_string(run.Count),
                        "KORVANE_SUMMARY=" + run.Summary(), "KORVANE_CHANGES_FILE=" + file};
  ConsoleProcessResult result = ConsoleProcessResult::kReadFailed;
  try {
    result = runner_(settings_.Command, limits, output);
  } catch (...) {
  }
  platform::RemoveFileAt(file);
  if (output.size() > TNotifySettings::kMaxLoggedOutput) output.resize(TNotifySettings::kMaxLoggedOutput);
  return result;
}

ConsoleProcessResult TNotifyCommand::Execute(const TNotifyRun& run) {
  ConsoleProcessResult result = ConsoleProcessResult::kReadFailed;
  try {
    WriteCoreLog("notify: running " + settings_.Command);
    int exit_code = -1;
    std::string output;
    result = Run(run, exit_code, output);
    std::string line = std::string(result == ConsoleProcessResult::kCompleted ? "" : "ERROR! ") +
                       "notify: the command " + ResultText(result);
    if (exit_code >= 0) line += ", exit code " + std::to_string(exit_code);
    if (result == ConsoleProcessResult::kStartFailed) line += ": " + settings_.Command;
    WriteCoreLog(line);
    if (!output.empty()) WriteCoreLog("notify: output: " + output);
  } catch (...) {
    // Nothing of a notification may end the service.
  }
  return result;
}

}  // namespace kv

#include "notify/notify_command.h"

#include <algorithm>

#include "base/core_log_writer.h"
#include "base/ini_file.h"
#include "base/text_case.h"
#include "platform/files.h"
#include "platform/write_failures.h"

namespace kv {
namespace {

using platform::ConsoleProcessResult;

constexpr size_t kMaxSummary = 500;
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

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

bool MoreSerious(TSeverity a, TSeverity b) { return static_cast<int>(a) > static_cast<int>(b); }

std::string SummaryOf(const std::string& verdict, const std::string& worst, uint64_t count) {
  std::string summary = verdict;
  if (count > 0) summary += ": " + worst;
  std::string more;
  if (count > 1) more = " (and " + std::to_string(count - 1) + (count == 2 ? " more change)" : " more changes)");
  summary = OneLine(summary);
  if (summary.size() + more.size() > kMaxSummary) summary = summary.substr(0, kMaxSummary - more.size() - 3) + "...";
  return summary + more;
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

// Other senders' entries kept from the outbox at most, so a hostile file cannot grow ours.
constexpr size_t kMaxOtherBytes = size_t{1} << 20;
constexpr int64_t kMaxCount = int64_t{1} << 40;

}  // namespace

std::string NotifySummary(const std::string& verdict, const std::vector<TChange>& changes) {
  TNotifyRun run;
  run.Add(verdict, changes, 0);
  return run.Summary();
}

void TNotifyRun::Add(const std::string& verdict, const std::vector<TChange>& changes, int64_t now) {
  TNotifyRun cycle;
  cycle.Verdict = verdict;
  cycle.Time = now;
  cycle.Count = changes.size();
  for (const TChange& c : changes) {
    if (&c == &changes.front() || MoreSerious(c.Severity, cycle.WorstSeverity)) {
      cycle.WorstSeverity = c.Severity;
      cycle.WorstText = c.Text;
    }
    std::string line = ChangeFileLine(c, now);
    line.resize(line.size() - 2);  // its CR LF
    cycle.Lines.push_back(std::move(line));
  }
  Add(cycle);
}

void TNotifyRun::Add(const TNotifyRun& later) {
  Verdict = later.Verdict;
  Time = std::max(Time, later.Time);
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

std::string TNotifyRun::Summary() const { return SummaryOf(Verdict, WorstText, Count); }

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
  entry.Keys = {{"verdict", Verdict},
                {"time", std::to_string(Time)},
                {"count", std::to_string(Count)},
                {"worst", std::string(SeverityName(WorstSeverity)) + " " + WorstText}};
  for (const std::string& line : Lines) entry.Keys.emplace_back("change", line);
  return entry;
}

bool TNotifyRun::FromOutbox(const TOutboxEntry& entry, TNotifyRun& run) {
  run = TNotifyRun();
  int64_t count = 0;
  bool worst = false;
  for (const auto& [key, value] : entry.Keys) {
    int64_t number = 0;
    if (key == "verdict" && (value == "OK" || value == "Warning" || value == "Critical")) {
      run.Verdict = value;
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
      ++run.Count;
    }
  }
  run.Count = std::max<uint64_t>(run.Count, static_cast<uint64_t>(count));
  if (run.Verdict.empty() || run.Count == 0) return false;
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

TNotifyCommand::TNotifyCommand(TNotifySettings settings, std::string folder, Runner runner, TOutbox*)
    : settings_(std::move(settings)), folder_(std::move(folder)), runner_(std::move(runner)) {
  if (!runner_) runner_ = platform::RunConsoleProcess;
}

TNotifyCommand::~TNotifyCommand() {
  cancel_.Cancel();
  if (thread_.joinable()) thread_.join();
}

void TNotifyCommand::Wait() {
  if (thread_.joinable()) thread_.join();
}

bool TNotifyCommand::Submit(const std::string& verdict, const std::vector<TChange>& changes, int64_t now) {
  if (settings_.Command.empty()) return false;
  const bool due = std::any_of(changes.begin(), changes.end(), [&](const TChange& c) {
    return static_cast<int>(c.Severity) >= static_cast<int>(settings_.Policy.MinSeverity);
  });
  if (!due) return false;
  std::string error;
  bool queued = false, started = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued = busy_;
    if (!waiting_) waiting_.emplace();
    waiting_->Add(verdict, changes, now);
    // In the outbox before it runs: a crash from here on leaves it to the next start.
    error = SaveLocked();
    if (!queued && !cancel_.Cancelled()) started = StartLocked();
  }
  NoteSaved(error);
  if (queued)
    WriteCoreLog("notify: the previous command still runs; " + std::to_string(changes.size()) +
                 " changes wait for the next run");
  if (!started) WriteCoreLog("ERROR! notify: no thread for the notification command");
  return started;
}

void TNotifyCommand::Resume() {
  if (folder_.empty()) return;
  TOutboxText outbox;
  std::string problem;
  std::vector<std::string> lines;
  const bool read = ReadOutbox(folder_, outbox, problem);
  if (!read) lines.push_back(std::string("ERROR! notify: ") + kOutboxFileName + ": " + problem + "; what it holds is dropped");
  std::optional<TNotifyRun> resumed;
  size_t unreadable = outbox.Unreadable, other_bytes = 0;
  std::vector<TOutboxEntry> others;
  for (const TOutboxEntry& entry : outbox.Entries) {
    if (!SameTextAscii(entry.Type, "command")) {
      size_t bytes = entry.Type.size();
      for (const auto& [key, value] : entry.Keys) bytes += key.size() + value.size();
      if ((other_bytes += bytes) <= kMaxOtherBytes) others.push_back(entry);
      else ++unreadable;
      continue;
    }
    TNotifyRun run;
    if (!TNotifyRun::FromOutbox(entry, run)) {
      ++unreadable;
    } else if (!resumed) {
      resumed = std::move(run);
    } else {
      resumed->Add(run);
    }
  }
  if (unreadable > 0)
    lines.push_back(std::string("ERROR! notify: ") + kOutboxFileName + ": " + std::to_string(unreadable) +
                    " lines or entries could not be read and are skipped");
  if (resumed && settings_.Command.empty()) {
    lines.push_back("notify: no command is set; a notification of " + std::to_string(resumed->Count) +
                    " changes left from before the start is dropped");
  } else if (resumed) {
    lines.push_back("notify: running again a notification of " + std::to_string(resumed->Count) +
                    " changes left from before the start");
  }
  std::string error;
  bool started = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    others_ = std::move(others);
    if (resumed && !settings_.Command.empty()) {
      if (waiting_) resumed->Add(*waiting_);
      waiting_ = std::move(resumed);
      if (!busy_ && !cancel_.Cancelled()) started = StartLocked();
    }
    // Rewritten only when something changes, so other senders' entries stay as they were.
    if (!read || unreadable > 0 || resumed) error = SaveLocked();
  }
  NoteSaved(error);
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

std::string TNotifyCommand::SaveLocked() {
  if (folder_.empty()) return std::string();
  std::vector<TOutboxEntry> entries;
  if (running_) entries.push_back(running_->ToOutbox());
  if (waiting_) entries.push_back(waiting_->ToOutbox());
  entries.insert(entries.end(), others_.begin(), others_.end());
  std::string error;
  if (!WriteOutbox(folder_, entries, error) && error.empty()) error = "unknown error";
  return error;
}

void TNotifyCommand::NoteSaved(const std::string& error) {
  if (!folder_.empty()) platform::WriteFailures().Note(kOutboxFileName, error);
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
    std::string error;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // A run a stop cut off stays for the next start; every other end is an end.
      if (result != ConsoleProcessResult::kCancelled) running_.reset();
      error = SaveLocked();
    }
    NoteSaved(error);
  }
}

ConsoleProcessResult TNotifyCommand::Execute(const TNotifyRun& run) {
  ConsoleProcessResult result = ConsoleProcessResult::kReadFailed;
  try {
    const std::string file = folder_ + kChangesFileName;
    platform::WriteWholeFileNoted(file, run.ChangesText());

    platform::ConsoleProcessLimits limits;
    limits.timeout_ms = settings_.TimeoutSeconds * 1000;
    limits.max_output = TNotifySettings::kMaxLoggedOutput;
    limits.drain_output = true;
    limits.cancel = &cancel_;
    int exit_code = -1;
    limits.exit_code = &exit_code;
    limits.environment = {"KORVANE_VERDICT=" + run.Verdict, "KORVANE_CHANGE_COUNT=" + std::to_string(run.Count),
                          "KORVANE_SUMMARY=" + run.Summary(), "KORVANE_CHANGES_FILE=" + file};
    std::string output;
    WriteCoreLog("notify: running " + settings_.Command);
    try {
      result = runner_(settings_.Command, limits, output);
    } catch (...) {
    }
    platform::RemoveFileAt(file);
    std::string line = std::string(result == ConsoleProcessResult::kCompleted ? "" : "ERROR! ") +
                       "notify: the command " + ResultText(result);
    if (exit_code >= 0) line += ", exit code " + std::to_string(exit_code);
    if (result == ConsoleProcessResult::kStartFailed) line += ": " + settings_.Command;
    WriteCoreLog(line);
    if (!output.empty())
      WriteCoreLog("notify: output: " + output.substr(0, TNotifySettings::kMaxLoggedOutput));
  } catch (...) {
    // Nothing of a notification may end the service.
  }
  return result;
}

}  // namespace kv

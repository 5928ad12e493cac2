#include "collect/notify_command.h"

#include <algorithm>

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "collect/changes_journal.h"
#include "platform/files.h"

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

}  // namespace

bool ParseSeverity(const std::string& text, TSeverity& severity) {
  for (TSeverity s : {TSeverity::Information, TSeverity::Warning, TSeverity::Critical}) {
    if (SameTextAscii(text, SeverityName(s))) {
      severity = s;
      return true;
    }
  }
  return false;
}

TNotifySettings::TNotifySettings(const TSettings& settings)
    : Command(settings.notify_command), TimeoutSeconds(settings.notify_timeout), MinSeverity(TSeverity::Warning) {
  ParseSeverity(settings.notify_min_severity, MinSeverity);
}

std::string NotifySummary(const std::string& verdict, const std::vector<TChange>& changes) {
  std::string summary = verdict;
  if (!changes.empty()) {
    // The most serious change, the first of them when several are as serious.
    const auto worst = std::max_element(changes.begin(), changes.end(), [](const TChange& a, const TChange& b) {
      return static_cast<int>(a.Severity) < static_cast<int>(b.Severity);
    });
    summary += ": " + worst->Text;
  }
  std::string more;
  if (changes.size() > 1)
    more = " (and " + std::to_string(changes.size() - 1) + (changes.size() == 2 ? " more change)" : " more changes)");
  summary = OneLine(summary);
  if (summary.size() + more.size() > kMaxSummary) summary = summary.substr(0, kMaxSummary - more.size() - 3) + "...";
  return summary + more;
}

TNotifyCommand::TNotifyCommand(TNotifySettings settings, std::string folder, Runner runner)
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
    return static_cast<int>(c.Severity) >= static_cast<int>(settings_.MinSeverity);
  });
  if (!due) return false;
  // The previous command ends by its time-out at the latest.
  if (thread_.joinable()) {
    WriteCoreLog("notify: waiting for the previous notification command");
    thread_.join();
  }
  try {
    thread_ = std::thread([this, verdict, changes, now] { Run(verdict, changes, now); });
  } catch (...) {
    WriteCoreLog("ERROR! notify: no thread for the notification command");
    return false;
  }
  return true;
}

void TNotifyCommand::Run(const std::string& verdict, const std::vector<TChange>& changes, int64_t now) {
  try {
    const std::string file = folder_ + kChangesFileName;
    std::string lines;
    for (const TChange& c : changes) lines += ChangeFileLine(c, now);
    platform::WriteWholeFile(file, lines);

    platform::ConsoleProcessLimits limits;
    limits.timeout_ms = settings_.TimeoutSeconds * 1000;
    limits.max_output = TNotifySettings::kMaxLoggedOutput;
    limits.drain_output = true;
    limits.cancel = &cancel_;
    int exit_code = -1;
    limits.exit_code = &exit_code;
    limits.environment = {"KORVANE_VERDICT=" + verdict, "KORVANE_CHANGE_COUNT=" + std::to_string(changes.size()),
                          "KORVANE_SUMMARY=" + NotifySummary(verdict, changes), "KORVANE_CHANGES_FILE=" + file};
    std::string output;
    WriteCoreLog("notify: running " + settings_.Command);
    ConsoleProcessResult result = ConsoleProcessResult::kReadFailed;
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
}

}  // namespace kv

#include "service/command_switches.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "base/ini_file.h"
#include "base/settings.h"
#include "base/text_case.h"
#include "collect/source_reader.h"
#include "health/changes.h"
#include "notify/notify_command.h"
#include "notify/notify_message.h"
#include "notify/notify_policy.h"
#include "notify/notify_settings.h"
#include "notify/webhook_payload.h"
#include "notify/webhook_sender.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http_client.h"
#include "platform/os_facts.h"
#include "platform/process.h"
#include "service/service_config.h"

namespace kv {
namespace {

// How a configured source will be read: ", run as a command" or ", read as a saved file".
std::string SourceKind(const std::string& source) {
  if (source.empty()) return std::string();
  return IsFileSource(source) ? ", read as a saved file" : ", run as a command";
}

// Where a row's effective value came from, and what was wrong with the configured one.
std::string Origin(const TMemIniFile& ini, const TSettings& settings, const TSettingRow& row) {
  if (!ini.ValueExists(row.section, row.key)) return "default";
  for (const TRefusedSetting& refused : settings.refused) {
    if (refused.row != &row) continue;
    const std::string value = "\"" + ShownConfigText(refused.value) + "\"";
    switch (refused.why) {
      case TRefusedSetting::Why::NotANumber:
        return "default; configured value " + value + " not understood";
      case TRefusedSetting::Why::OutOfRange:
        return "default; configured value " + value + " is outside " + std::to_string(row.min) + ".." +
               std::to_string(row.max);
      case TRefusedSetting::Why::Bounded:
        return "bound; configured value " + value + (refused.bound == row.min ? " is below " : " is above ") +
               std::to_string(refused.bound);
      case TRefusedSetting::Why::NotAWord:
        return "default; configured value " + value + " is not " + WordsText(row);
      case TRefusedSetting::Why::TooLong:
        return "configured; longer than " + std::to_string(row.max) + " characters: never run";
    }
  }
  return "configured";
}

// Beside the program, as the collection writes it (collect/changes_journal.h).
constexpr char kStateFileName[] = "korvane_monitor_state.txt";
// A damaged or foreign state file is not read whole.
constexpr size_t kMaxStateBytes = size_t{64} << 20;

std::string Seconds(double seconds, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f s", decimals, seconds);
  return text;
}

// Runs the command once; true when it exited 0.
bool TestCommand(const TNotifySettings& settings, const std::string& folder, const TNotifyMessage& message,
                 std::string& out) {
  // No outbox: a test is not kept for a later run.
  TNotifyCommand command(settings, folder, nullptr, nullptr);
  int exit_code = -1;
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  const platform::ConsoleProcessResult result = command.RunOnce(message, exit_code, output);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  bool ok = false;
  switch (result) {
    case platform::ConsoleProcessResult::kStartFailed:
      out += "command: could not be started\n";
      break;
    case platform::ConsoleProcessResult::kTimedOut:
      out += "command: timed out and was ended after " + Seconds(took, 1) + "\n";
      break;
    case platform::ConsoleProcessResult::kReadFailed:
      out += "command: its output could not be read; ended after " + Seconds(took, 2) + "\n";
      break;
    default:
      ok = exit_code == 0;
      out += exit_code == -1 ? "command: ended without an exit code after " + Seconds(took, 2) + "\n"
                             : "command: exit code " + std::to_string(exit_code) + " in " + Seconds(took, 2) + "\n";
      break;
  }
  if (!output.empty()) {
    out += "command output:\n" + output;
    if (output.back() != '\n') out += "\n";
  }
  return ok;
}

// Posts the message once; true when the receiver answered 2xx.
bool TestWebhook(const TNotifySettings& settings, const TNotifyMessage& message, std::string& out) {
  const TWebhookBody body = RenderWebhookBody(message, settings.Format, platform::ComputerName(), settings.PageUrl);
  const platform::HttpPostResult result = platform::HttpPost(WebhookRequest(settings, body));
  out += "webhook: " + PostResultText(result) + (result.answered ? " in " : " after ") + Seconds(result.seconds, 2) +
         "\n";
  return PostDelivered(result);
}

// Each step is shown when done: the command may take a minute, the webhook ten seconds.
void Print(std::string& out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  out.clear();
}

// --test-notify: the exit code; what it did is added to `out`.
int TestNotify(const std::string& program_folder, std::string& out) {
  const TNotifySettings settings(ReadSettings(LoadConfigFile(program_folder)));
  if (!settings.Any()) {
    out += "nothing to test: [notify] command and [notify] webhook are both empty\n";
    return 2;
  }
  // The service works in its program folder: a relative webhook_ca is read from there too
  // (a failure leaves the current folder, and the post then says the file is missing).
  platform::SetCurrentFolder(program_folder);
  std::string state;
  if (platform::ReadWholeFile(program_folder + kStateFileName, state, kMaxStateBytes) != platform::FileReadResult::kOk)
    state.clear();
  TNotifyMessage message;
  message.Event = TNotifyEvent::Test;
  message.Verdict = SavedVerdict(state);
  message.Time = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                     .count();
  message.LocalTime = platform::LocalUnixSeconds();
  out += "message: " + message.Summary() + "\n";
  Print(out);
  bool ok = true;
  // Each way is tried whatever the other gave, as the service tells both.
  if (!settings.Command.empty()) ok = TestCommand(settings, program_folder, message, out) && ok;
  Print(out);
  if (!settings.Webhook.empty()) ok = TestWebhook(settings, message, out) && ok;
  return ok ? 0 : 1;
}

}  // namespace

std::string SavedVerdict(const std::string& state_text) {
  TStateSnapshots snapshots;
  std::vector<std::string> notes;
  TNotifyMemory memory;
  if (!LoadSnapshots(state_text, snapshots, &notes) || !TNotifyMemory::Load(notes, memory) || memory.Verdict.empty())
    return "unknown";
  return memory.Verdict;
}

InfoSwitch ParseInfoSwitch(const std::vector<std::string>& args) {
  if (args.empty()) return InfoSwitch::kNone;
  const std::string& a = args[0];
  if (SameTextAscii(a, "--help") || SameTextAscii(a, "-h") || a == "/?" || a == "-?") return InfoSwitch::kHelp;
  if (SameTextAscii(a, "--version")) return InfoSwitch::kVersion;
  if (SameTextAscii(a, "--check-config")) return InfoSwitch::kCheckConfig;
  if (SameTextAscii(a, "--test-notify")) return InfoSwitch::kTestNotify;
  return InfoSwitch::kNone;
}

std::string VersionText() {
  return "Korvane Monitor " + std::to_string(KV_VERSION_MAJOR) + "." + std::to_string(KV_VERSION_MINOR) + "." +
         std::to_string(KV_VERSION_PATCH) + "." + std::to_string(KV_VERSION_BUILD) + "\n";
}

std::string HelpText(const std::string& program_folder) {
  std::string out = VersionText() +
                    "Watches a Korvane RAID controller through the controller utility and serves what it\n"
                    "sees over HTTP (default http://<this computer>:31313/).\n\n"
                    "Usage: korvane_monitor [switch]\n"
                    "  (none)            run as the service (systemd or the Windows service manager)\n"
                    "  /INSTALL          register the service (\"-\" works instead of \"/\"; add /SILENT\n"
                    "                    to suppress the confirmation)\n"
                    "  /UNINSTALL        remove the service\n"
                    "  --check-config    print every effective setting and the lines not understood\n"
                    "  --test-notify     send a test message through the notification command and\n"
                    "                    the webhook, print how each went (exit code 0: all worked)\n"
                    "  --version         print the version\n"
                    "  --help, /?        this text\n\n"
                    "Configuration: " +
                    program_folder + kConfigFileName +
                    " (read at every service start; a missing file means\n"
                    "every default). Keys, by section:\n";
  std::string section;
  for (const TSettingRow& row : SettingRows()) {
    if (section != row.section) {
      section = row.section;
      out += "  [" + section + "]\n";
    }
    std::string name = row.key;
    name.resize(std::max<size_t>(name.size() + 1, 16), ' ');
    const std::string fallback = *row.default_value ? row.default_value : "empty";
    out += "    " + name + row.meaning + "; default " + fallback + "\n";
  }
  out += "The core log is <program name>_core_log.txt in the program folder.\n";
  return out;
}

std::string CheckConfigText(const std::string& path, bool found, const std::string& text, int& problems) {
  const TMemIniFile ini(text);
  const TSettings settings = ReadSettings(ini);
  const std::vector<TConfigProblem> listed = ConfigProblems(TConfigFile{path, found, text}, settings);
  problems = static_cast<int>(listed.size());
  std::string out = "Configuration file: " + path +
                    (found ? "\n" : " (not found: every setting takes its default)\n");
  std::string section;
  const auto numbered_sources = [&] {
    for (int number = 2; number <= kMaxControllers; ++number) {
      const std::optional<TSourceSet>& set = settings.numbered_sources[static_cast<size_t>(number)];
      if (!set) continue;
      out += "[" + NumberedSourceSection(number) + "]\n";
      for (const TSettingRow& row : SettingRows()) {
        if (row.source == nullptr) continue;
        const std::string& value = (*set).*row.source;
        std::string line = std::string(row.key) + "=" + value;
        std::string origin = (ini.ValueExists(NumberedSourceSection(number), row.key) ? "configured" : "default") +
                             SourceKind(value);
        const std::string prefix = "[" + NumberedSourceSection(number) + "]";
        for (const TConfigProblem& problem : listed)
          if (problem.row == &row && problem.text.rfind(prefix, 0) == 0) origin += problem.note;
        line.resize(std::max<size_t>(line.size() + 1, 28), ' ');
        out += line + "; " + origin + "\n";
      }
    }
  };
  for (const TSettingRow& row : SettingRows()) {
    if (row.source != nullptr) {
      // The numbered sections are listed as they are in the file, each with its five keys.
      if (row.source == &TSourceSet::config) numbered_sources();
      continue;
    }
    if (section != row.section) {
      section = row.section;
      out += "[" + section + "]\n";
    }
    const std::string value = SettingValueText(settings, row);
    std::string line = std::string(row.key) + "=" + value;
    std::string origin = Origin(ini, settings, row);
    if (section == "source") origin += SourceKind(value);
    for (const TConfigProblem& problem : listed)
      if (problem.row == &row) origin += problem.note;
    line.resize(std::max<size_t>(line.size() + 1, 28), ' ');
    out += line + "; " + origin + "\n";
  }
  std::string lines;
  for (const TConfigProblem& problem : listed)
    if (problem.row == nullptr) lines += problem.note;
  out += "Lines not understood:" + (lines.empty() ? std::string(" none\n") : "\n" + lines);
  out += "Problems, as the service logs them at start:";
  if (listed.empty()) out += " none";
  out += "\n";
  for (const TConfigProblem& problem : listed) out += "  " + problem.text + "\n";
  return out;
}

int RunInfoSwitch(InfoSwitch which, const std::string& program_folder) {
  std::string out;
  int code = 0;
  if (which == InfoSwitch::kHelp) out = HelpText(program_folder);
  if (which == InfoSwitch::kVersion) out = VersionText();
  if (which == InfoSwitch::kCheckConfig) {
    TConfigFile file;
    try {
      file = ReadConfigFile(program_folder);
    } catch (const ConfigReadError&) {
      std::fprintf(stderr, "Cannot read %s\n", (program_folder + kConfigFileName).c_str());
      return 1;
    }
    int problems = 0;
    out = CheckConfigText(file.path, file.found, file.text, problems);
    if (problems > 0) code = 2;
  }
  if (which == InfoSwitch::kTestNotify) {
    try {
      code = TestNotify(program_folder, out);
    } catch (const ConfigReadError&) {
      std::fprintf(stderr, "Cannot read %s\n", (program_folder + kConfigFileName).c_str());
      return 1;
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return code;
}

}  // namespace kv

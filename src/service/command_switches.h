#pragma once
// The switches for people at a console, handled before the service starts anything (so
// they never touch the core log of a running service):
//
//   korvane_monitor --help | -h | /?     switches, where the configuration lives, its keys
//   korvane_monitor --version            "Korvane Monitor 1.0.0.1"
//   korvane_monitor --check-config       every effective setting of config_http.txt, with
//                                        "default" or "configured", the lines that were
//                                        not understood, then every problem as the
//                                        service's start logs it
//   korvane_monitor --test-notify        one "test" message through every configured way
//                                        (the command, the webhook), each result printed;
//                                        no core-log line, no outbox entry
//
// Only the first argument is looked at; anything else goes on to the service framework.
#include <string>
#include <vector>

namespace kv {

enum class InfoSwitch { kNone, kHelp, kVersion, kCheckConfig, kTestNotify };

InfoSwitch ParseInfoSwitch(const std::vector<std::string>& args);

std::string HelpText(const std::string& program_folder);
std::string VersionText();

// The report of --check-config for the configuration text `text` read from `path`
// (`found` false: no file, every default applies). `problems` counts the problems
// (service/service_config.h), each a line at the end of the report.
std::string CheckConfigText(const std::string& path, bool found, const std::string& text, int& problems);

// The verdict the saved state's notification memory holds ("OK", "Warning", "Critical"),
// or "unknown" when the text holds none or cannot be read.
std::string SavedVerdict(const std::string& state_text);

// Runs the switch, prints to stdout, and returns the process exit code: 0, or 1 when the
// configuration cannot be read, or 2 when --check-config found problems. --test-notify:
// 0 when every configured way succeeded (the command exited 0, the webhook answered 2xx),
// 1 when one failed, 2 when neither is configured.
int RunInfoSwitch(InfoSwitch which, const std::string& program_folder);

}  // namespace kv

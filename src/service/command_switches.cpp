#include "service/command_switches.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "base/ini_file.h"
#include "base/settings.h"
#include "base/text_case.h"
#include "collect/source_reader.h"
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

}  // namespace

InfoSwitch ParseInfoSwitch(const std::vector<std::string>& args) {
  if (args.empty()) return InfoSwitch::kNone;
  const std::string& a = args[0];
  if (SameTextAscii(a, "--help") || SameTextAscii(a, "-h") || a == "/?" || a == "-?") return InfoSwitch::kHelp;
  if (SameTextAscii(a, "--version")) return InfoSwitch::kVersion;
  if (SameTextAscii(a, "--check-config")) return InfoSwitch::kCheckConfig;
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
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return code;
}

}  // namespace kv

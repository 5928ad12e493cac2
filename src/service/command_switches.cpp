#include "service/command_switches.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "base/ini_file.h"
#include "base/settings.h"
#include "base/text_case.h"
#include "collect/source_reader.h"
#include "http/client_allow_list.h"
#include "platform/files.h"
#include "service/service_config.h"

namespace kv {
namespace {

bool IsKnownSection(std::string_view name) {
  const auto rows = SettingRows();
  return std::any_of(rows.begin(), rows.end(), [&](const TSettingRow& r) { return SameTextAscii(r.section, name); });
}

bool IsKnownKey(std::string_view section, std::string_view key) {
  const auto rows = SettingRows();
  return std::any_of(rows.begin(), rows.end(), [&](const TSettingRow& r) {
    return SameTextAscii(r.section, section) && SameTextAscii(r.key, key);
  });
}

// The same trimming as the INI reader: blanks and control characters at both ends.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
      if (i < text.size() || start < i) lines.push_back(text.substr(start, i - start));
      if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  return lines;
}

std::string Shown(std::string_view line) {
  constexpr size_t kMax = 80;
  std::string out(line.substr(0, kMax));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out.size() < line.size() ? out + "..." : out;
}

// Lines the reader skips or that name nothing this program reads.
void ListUnderstoodLines(std::string_view text, std::string& out, int& problems) {
  std::string section;
  bool in_section = false;
  std::vector<std::string> seen_sections;
  int number = 0;
  for (std::string_view raw : Lines(text)) {
    ++number;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    std::string why;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      in_section = true;
      const std::string folded = LowerCaseAscii(section);
      if (!IsKnownSection(section)) {
        why = "unknown section";
      } else if (std::find(seen_sections.begin(), seen_sections.end(), folded) != seen_sections.end()) {
        why = "section repeated: only its last occurrence is read";
      }
      seen_sections.push_back(folded);
    } else if (!in_section) {
      why = "before the first section, ignored";
    } else {
      const size_t eq = line.find('=');
      const std::string_view key = Trim(line.substr(0, eq));
      if (!IsKnownSection(section)) {
        why = "in an unknown section";
      } else if (!IsKnownKey(section, key)) {
        why = "unknown key in section [" + section + "]";
      } else if (eq == std::string_view::npos) {
        why = "no \"=\": the key has no value";
      }
    }
    if (why.empty()) continue;
    ++problems;
    out += "  line " + std::to_string(number) + ": " + Shown(line) + "  (" + why + ")\n";
  }
}

// How a configured source will be read: ", run as a command" or ", read as a saved file";
// a saved file that is not there counts as a problem. Relative names are taken from the
// program folder, the folder of the configuration file.
std::string SourceKind(const std::string& config_path, const std::string& source, int& problems) {
  if (source.empty()) return std::string();
  if (!IsFileSource(source)) return ", run as a command";
  const bool absolute = source[0] == '/' || source[0] == '\\' || (source.size() > 1 && source[1] == ':');
  const size_t slash = config_path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : config_path.substr(0, slash + 1);
  if (platform::FileExists(absolute ? source : folder + source)) return ", read as a saved file";
  ++problems;
  return ", read as a saved file, which is not there (a source ending in .txt is never run)";
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

// What is wrong with a configured [http] listen or allow value ("" when nothing).
static std::string AddressProblem(const TSettings& settings, const TSettingRow& row, int& problems) {
  const std::string_view section = row.section, key = row.key;
  if (section != "http") return std::string();
  uint32_t address = 0;
  if (key == "listen" && !settings.listen.empty() && !ParseIPv4(settings.listen, address)) {
    ++problems;
    return "; not an IPv4 address: the web server does not start";
  }
  if (key == "allow") {
    const TClientAllowList allow(settings.allow);
    if (!allow.BadEntry().empty()) {
      ++problems;
      return "; entry \"" + Shown(allow.BadEntry()) + "\" cannot be read: only 127.0.0.1 is allowed";
    }
  }
  return std::string();
}

// Where a row's effective value came from, and what was wrong with the configured one.
static std::string Origin(const TMemIniFile& ini, const TSettings& settings, const TSettingRow& row, int& problems) {
  if (!ini.ValueExists(row.section, row.key)) return "default";
  for (const TRefusedSetting& refused : settings.refused) {
    if (refused.row != &row) continue;
    ++problems;
    const std::string value = "\"" + Shown(refused.value) + "\"";
    switch (refused.why) {
      case TRefusedSetting::Why::NotANumber:
        return "default; configured value " + value + " not understood";
      case TRefusedSetting::Why::OutOfRange:
        return "default; configured value " + value + " is outside " + std::to_string(row.min) + ".." +
               std::to_string(row.max);
      case TRefusedSetting::Why::NotAWord:
        return "default; configured value " + value + " is not " + WordsText(row);
      case TRefusedSetting::Why::TooLong:
        return "configured; longer than " + std::to_string(row.max) + " characters: never run";
    }
  }
  return "configured" + AddressProblem(settings, row, problems);
}

std::string CheckConfigText(const std::string& path, bool found, const std::string& text, int& problems) {
  problems = 0;
  const TMemIniFile ini(text);
  const TSettings settings = ReadSettings(ini);
  std::string out = "Configuration file: " + path +
                    (found ? "\n" : " (not found: every setting takes its default)\n");
  std::string section;
  for (const TSettingRow& row : SettingRows()) {
    if (section != row.section) {
      section = row.section;
      out += "[" + section + "]\n";
    }
    const std::string value = SettingValueText(settings, row);
    std::string line = std::string(row.key) + "=" + value;
    std::string origin = Origin(ini, settings, row, problems);
    if (section == "source") origin += SourceKind(path, value, problems);
    line.resize(std::max<size_t>(line.size() + 1, 28), ' ');
    out += line + "; " + origin + "\n";
  }
  std::string lines;
  ListUnderstoodLines(text, lines, problems);
  out += "Lines not understood:" + (lines.empty() ? std::string(" none\n") : "\n" + lines);
  return out;
}

int RunInfoSwitch(InfoSwitch which, const std::string& program_folder) {
  std::string out;
  int code = 0;
  if (which == InfoSwitch::kHelp) out = HelpText(program_folder);
  if (which == InfoSwitch::kVersion) out = VersionText();
  if (which == InfoSwitch::kCheckConfig) {
    const std::string path = program_folder + kConfigFileName;
    std::string text;
    const platform::FileReadResult read = platform::ReadWholeFile(path, text);
    if (read == platform::FileReadResult::kFailed) {
      std::fprintf(stderr, "Cannot read %s\n", path.c_str());
      return 1;
    }
    int problems = 0;
    out = CheckConfigText(path, read == platform::FileReadResult::kOk, text, problems);
    if (problems > 0) code = 2;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return code;
}

}  // namespace kv

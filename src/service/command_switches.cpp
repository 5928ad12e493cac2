#include "service/command_switches.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "base/ini_file.h"
#include "base/text_case.h"
#include "collect/notify_command.h"
#include "collect/source_reader.h"
#include "http/http_daemon.h"
#include "platform/files.h"
#include "service/service_config.h"

namespace kv {
namespace {

enum class Kind { kInteger, kBoolean, kString };

struct KnownKey {
  const char* section;
  const char* key;
  Kind kind;
  const char* meaning;
};

constexpr KnownKey kKnownKeys[] = {
    {"http", "port", Kind::kInteger, "TCP port of the web server (all local addresses)"},
    {"http", "use", Kind::kBoolean, "0: no web server, collection only"},
    {"http", "max_connections", Kind::kInteger, "connections served at once"},
    {"http", "max_per_client", Kind::kInteger, "connections served at once for one client address"},
    {"http", "recv_timeout", Kind::kInteger, "milliseconds to wait for each part of a request"},
    {"http", "max_error_lines", Kind::kInteger, "SOCK.ERROR lines written in 10 s at most; the rest are counted"},
    {"http", "listen", Kind::kString, "IPv4 address to bind; empty: every address"},
    {"http", "allow", Kind::kString, "clients allowed: IPv4 addresses and CIDR ranges, comma-separated; empty: everyone"},
    {"scaner", "timeout", Kind::kInteger, "seconds between two collections"},
    {"scaner", "restart_timeout", Kind::kInteger, "seconds after which the service restarts itself"},
    {"scaner", "source_timeout", Kind::kInteger, "seconds a source command may run"},
    {"scaner", "log", Kind::kBoolean, "collection logging flag (0/1, default 0); kept, changes no output"},
    {"source", "config", Kind::kString, "controller configuration: a command or a file"},
    {"source", "smart", Kind::kString, "SMART data: a command or a file"},
    {"source", "task", Kind::kString, "task status: a command or a file"},
    {"source", "stat", Kind::kString, "controller log statistics: a command or a file"},
    {"source", "cache", Kind::kString, "zepCache statistics: a command or a file"},
    {"health", "drive_temperature_max", Kind::kInteger, "drive temperature (C) above which its SMART verdict is Caution"},
    {"notify", "command", Kind::kString, "command run when a cycle has changes at min_severity; empty: none"},
    {"notify", "timeout", Kind::kInteger, "seconds the notification command may run"},
    {"notify", "min_severity", Kind::kString, "information, warning or critical: the least change that notifies"},
};

constexpr int64_t kDefaultRestartTimeout = 604800;
constexpr int64_t kDefaultSourceTimeout = 300;

bool IsKnownSection(std::string_view name) {
  return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys),
                     [&](const KnownKey& k) { return SameTextAscii(k.section, name); });
}

bool IsKnownKey(std::string_view section, std::string_view key) {
  return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const KnownKey& k) {
    return SameTextAscii(k.section, section) && SameTextAscii(k.key, key);
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

std::string Effective(const TMemIniFile& ini, const KnownKey& k) {
  const std::string_view section = k.section, key = k.key;
  if (section == "http" && (key == "port" || key == "use")) {
    const ServiceConfig config = ReadServiceConfig(ini);
    return key == "port" ? std::to_string(config.port) : (config.use_http ? "1" : "0");
  }
  if (section == "http" && (key == "listen" || key == "allow")) return ini.ReadString(section, key, "");
  if (section == "http") {
    const HttpSettings s = ReadHttpSettings(ini);
    return std::to_string(key == "max_connections" ? s.max_connections
                          : key == "max_per_client"  ? s.max_per_client
                          : key == "max_error_lines" ? s.max_error_lines
                                                     : s.recv_timeout_ms);
  }
  if (section == "notify" && key != "command") {
    const TNotifySettings notify = ReadNotifySettings(ini);
    return key == "timeout" ? std::to_string(notify.TimeoutSeconds) : SeverityName(notify.MinSeverity);
  }
  if (key == "timeout") return std::to_string(ReadServiceConfig(ini).timeout);
  if (key == "log") return ReadServiceConfig(ini).logging ? "1" : "0";
  if (key == "drive_temperature_max") return std::to_string(ini.ReadInteger(section, key, 55));
  if (key == "restart_timeout") return std::to_string(ini.ReadInteger(section, key, kDefaultRestartTimeout));
  if (key == "source_timeout") {
    const int64_t v = ini.ReadInteger(section, key, kDefaultSourceTimeout);
    return std::to_string(v <= 0 ? kDefaultSourceTimeout : v);
  }
  return ini.ReadString(section, key, "");
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
  for (const KnownKey& k : kKnownKeys) {
    if (section != k.section) {
      section = k.section;
      out += "  [" + section + "]\n";
    }
    std::string name = k.key;
    name.resize(std::max<size_t>(name.size() + 1, 16), ' ');
    out += "    " + name + k.meaning + "\n";
  }
  out += "Defaults: port=31313 (1..65535) use=1 timeout=600 restart_timeout=604800 log=0; sources empty;\n"
         "drive_temperature_max=55; [notify] command empty, timeout=60, min_severity=warning.\n"
         "The core log is <program name>_core_log.txt in the program folder.\n";
  return out;
}

// What is wrong with a configured [http] listen or allow value ("" when nothing).
static std::string AddressProblem(const TMemIniFile& ini, const KnownKey& k, int& problems) {
  if (std::string_view(k.section) != "http") return std::string();
  const std::string value = ini.ReadString(k.section, k.key, "");
  uint32_t address = 0;
  if (std::string_view(k.key) == "listen" && !value.empty() && !ParseIPv4(value, address)) {
    ++problems;
    return "; not an IPv4 address: the web server does not start";
  }
  if (std::string_view(k.key) == "allow") {
    const TClientAllowList allow(value);
    if (!allow.BadEntry().empty()) {
      ++problems;
      return "; entry \"" + Shown(allow.BadEntry()) + "\" cannot be read: only 127.0.0.1 is allowed";
    }
  }
  return std::string();
}

std::string CheckConfigText(const std::string& path, bool found, const std::string& text, int& problems) {
  problems = 0;
  const TMemIniFile ini(text);
  std::string out = "Configuration file: " + path +
                    (found ? "\n" : " (not found: every setting takes its default)\n");
  std::string section;
  for (const KnownKey& k : kKnownKeys) {
    if (section != k.section) {
      section = k.section;
      out += "[" + section + "]\n";
    }
    std::string line = std::string(k.key) + "=" + Effective(ini, k);
    std::string origin = "default";
    if (ini.ValueExists(k.section, k.key)) {
      const std::string raw = ini.ReadString(k.section, k.key, "");
      int64_t parsed = 0;
      TSeverity parsed_severity = TSeverity::Warning;
      if (k.kind != Kind::kString && !ParseIniInteger(raw, parsed)) {
        origin = "default; configured value \"" + Shown(raw) + "\" not understood";
        ++problems;
      } else if (std::string_view(k.key) == "min_severity" && !raw.empty() &&
                 !ParseSeverity(raw, parsed_severity)) {
        origin = "default; configured value \"" + Shown(raw) + "\" is not information, warning or critical";
        ++problems;
      } else if (std::string_view(k.section) == "notify" && std::string_view(k.key) == "command" &&
                 raw.size() > platform::kMaxCommandLine) {
        origin = "configured; longer than " + std::to_string(platform::kMaxCommandLine) + " characters: never run";
        ++problems;
      } else if (std::string_view(k.key) == "port" && !ReadServiceConfig(ini).port_out_of_range.empty()) {
        origin = "default; configured value \"" + Shown(raw) + "\" is outside 1..65535";
        ++problems;
      } else {
        origin = "configured" + AddressProblem(ini, k, problems);
      }
    }
    if (std::string_view(k.section) == "source") origin += SourceKind(path, Effective(ini, k), problems);
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

#include "service/service_config.h"

#include <algorithm>

#include "base/text_case.h"
#include "collect/source_reader.h"
#include "http/client_allow_list.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_lookup.h"

namespace kv {
namespace {

// A [source_N] row stands for the sections [source_2] .. [source_8].
bool RowSection(const TSettingRow& row, std::string_view name) {
  if (row.source == nullptr) return SameTextAscii(row.section, name);
  for (int number = 2; number <= kMaxControllers; ++number)
    if (SameTextAscii(NumberedSourceSection(number), name)) return true;
  return false;
}

bool IsKnownSection(std::string_view name) {
  const auto rows = SettingRows();
  return std::any_of(rows.begin(), rows.end(), [&](const TSettingRow& r) { return RowSection(r, name); });
}

bool IsKnownKey(std::string_view section, std::string_view key) {
  const auto rows = SettingRows();
  return std::any_of(rows.begin(), rows.end(),
                     [&](const TSettingRow& r) { return RowSection(r, section) && SameTextAscii(r.key, key); });
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

// Lines the reader skips or that name nothing this program reads.
void AddLineProblems(std::string_view text, std::vector<TConfigProblem>& problems) {
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
    const std::string where = "line " + std::to_string(number) + ": " + ShownConfigText(line);
    problems.push_back({nullptr, "  " + where + "  (" + why + ")\n", std::string(kConfigFileName) + " " + where + " (" + why + ")"});
  }
}

// What is wrong with a configured [http] listen or allow value.
void AddAddressProblems(const TSettings& settings, std::vector<TConfigProblem>& problems) {
  for (const TSettingRow& row : SettingRows()) {
    const std::string_view section = row.section, key = row.key;
    if (section != "http") continue;
    uint32_t address = 0;
    if (key == "listen" && !settings.listen.empty() && !ParseIPv4(settings.listen, address)) {
      problems.push_back({&row, "; not an IPv4 address: the web server does not start",
                          "[http] listen address " + ShownConfigText(settings.listen) +
                              " is not an IPv4 address, the web server does not start"});
    }
    if (key == "allow") {
      const TClientAllowList allow(settings.allow);
      if (!allow.BadEntry().empty()) {
        const std::string entry = "\"" + ShownConfigText(allow.BadEntry()) + "\"";
        problems.push_back({&row, "; entry " + entry + " cannot be read: only 127.0.0.1 is allowed",
                            "[http] allow entry " + entry + " cannot be read, only 127.0.0.1 is allowed"});
      }
    }
  }
}

// A command whose program is missing never starts: say which program, once, here.
void AddCommandProblems(const TSettingRow& row, const std::string& command, const std::string& folder,
                        std::vector<TConfigProblem>& problems, const std::string& section = std::string()) {
  const std::string name = "[" + (section.empty() ? std::string(row.section) : section) + "] " + row.key;
  if (command.size() > platform::kMaxCommandLine) {
    // A row whose own bound is this length has its refusal already.
    if (row.max > static_cast<int64_t>(platform::kMaxCommandLine))
      problems.push_back({&row, ", longer than " + std::to_string(platform::kMaxCommandLine) + " characters: never run",
                          name + " is longer than " + std::to_string(platform::kMaxCommandLine) +
                              " characters: it is never run"});
    return;
  }
  std::string program;
  if (!platform::FindCommandProgram(ControllerSource(command, 1), program, folder))
    problems.push_back({&row, "; program not found: " + ShownConfigText(program),
                        name + ": program not found: " + ShownConfigText(program)});
}

// A saved source that is not there. A name that serves every controller is checked as
// controller 1's.
void AddMissingFileProblem(const TSettingRow& row, const std::string& section, const std::string& source,
                           const std::string& folder, std::vector<TConfigProblem>& problems) {
  const std::string path = ControllerSource(source, 1);
  const bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
  if (platform::FileExists(absolute ? path : folder + path)) return;
  problems.push_back({&row, ", which is not there (a source ending in .txt is never run)",
                      "[" + section + "] " + row.key + "=" + ShownConfigText(source) +
                          " is read as a saved file, which is not there (a source ending in .txt is never run)"});
}

// A source is a saved file (read from the program folder when relative) or a command; so
// is the notification command.
void AddSourceProblems(const TSettings& settings, const std::string& folder, std::vector<TConfigProblem>& problems) {
  for (const TSettingRow& row : SettingRows()) {
    const bool notify = row.text == &TSettings::notify_command;
    if (std::string_view(row.section) != "source" && !notify) continue;
    const std::string& source = settings.*row.text;
    if (source.empty()) continue;
    if (notify || !IsFileSource(source)) {
      AddCommandProblems(row, source, folder, problems);
      continue;
    }
    AddMissingFileProblem(row, "source", source, folder, problems);
  }
  // Controllers 2 to 8: a section without a configuration source is not watched.
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::optional<TSourceSet>& set = settings.numbered_sources[static_cast<size_t>(number)];
    if (!set) continue;
    const std::string section = NumberedSourceSection(number);
    for (const TSettingRow& row : SettingRows()) {
      if (row.source == nullptr) continue;
      const std::string& source = (*set).*row.source;
      if (row.source == &TSourceSet::config && source.empty())
        problems.push_back({&row, "; missing: the section is skipped",
                            "[" + section + "] has no config source: controller " + std::to_string(number) +
                                " is not watched"});
      if (source.empty()) continue;
      if (!IsFileSource(source)) {
        AddCommandProblems(row, source, folder, problems, section);
        continue;
      }
      AddMissingFileProblem(row, section, source, folder, problems);
    }
  }
}

// "Name: value": a header name (RFC 9110 token characters), a colon, then visible text.
bool IsHeaderLine(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (const char c : line.substr(0, colon)) {
    const bool token = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    if (!token) return false;
  }
  const std::string_view value = Trim(line.substr(colon + 1));
  if (value.empty()) return false;
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  return std::none_of(value.begin(), value.end(), control);
}

// The webhook's address, header and CA file. Their values are never shown: an address or a
// header often carries the receiver's secret, and these lines go to the core log.
void AddWebhookProblems(const TSettings& settings, const std::string& folder, std::vector<TConfigProblem>& problems) {
  const std::string_view url = settings.notify_webhook;
  const auto scheme = [&](std::string_view prefix) { return SameTextAscii(url.substr(0, prefix.size()), prefix); };
  for (const TSettingRow& row : SettingRows()) {
    if (row.text == &TSettings::notify_webhook && !url.empty() && !scheme("http://") && !scheme("https://"))
      problems.push_back({&row, "; not an http:// or https:// address: nothing is posted",
                          "[notify] webhook is not an http:// or https:// address, nothing is posted"});
    if (row.text == &TSettings::notify_webhook_header && !settings.notify_webhook_header.empty() &&
        !IsHeaderLine(settings.notify_webhook_header))
      problems.push_back({&row, "; not one \"Name: value\" header",
                          "[notify] webhook_header is not one \"Name: value\" header"});
    const std::string& ca = settings.notify_webhook_ca;
    if (row.text == &TSettings::notify_webhook_ca && !ca.empty()) {
      // Relative to the program folder, where the service runs.
      const bool absolute = ca[0] == '/' || ca[0] == '\\' || (ca.size() > 1 && ca[1] == ':');
      if (!platform::FileExists(absolute ? ca : folder + ca))
        problems.push_back({&row, ", which is not there: no https post can be verified",
                            "[notify] webhook_ca=" + ShownConfigText(ca) +
                                " is not there, no https post can be verified"});
    }
  }
}

}  // namespace

std::string ShownConfigText(std::string_view text) {
  constexpr size_t kMax = 80;
  std::string out(text.substr(0, kMax));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out.size() < text.size() ? out + "..." : out;
}

TConfigFile ReadConfigFile(const std::string& program_folder) {
  TConfigFile file;
  file.path = program_folder + kConfigFileName;
  switch (platform::ReadWholeFile(file.path, file.text)) {
    case platform::FileReadResult::kOk:
      file.found = true;
      if (file.text.starts_with("\xEF\xBB\xBF")) file.text.erase(0, 3);
      return file;
    case platform::FileReadResult::kMissing:
      file.text.clear();
      return file;
    case platform::FileReadResult::kFailed:
      break;
  }
  throw ConfigReadError("Cannot read the configuration file " + file.path);
}

TMemIniFile LoadConfigFile(const std::string& program_folder) { return TMemIniFile(ReadConfigFile(program_folder).text); }

std::vector<TConfigProblem> ConfigProblems(const TConfigFile& file, const TSettings& settings) {
  const size_t slash = file.path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : file.path.substr(0, slash + 1);
  std::vector<TConfigProblem> problems;
  for (const TRefusedSetting& refused : settings.refused) problems.push_back({refused.row, "", RefusalLogText(refused)});
  AddAddressProblems(settings, problems);
  AddSourceProblems(settings, folder, problems);
  AddWebhookProblems(settings, folder, problems);
  // By key in table order; a key's own problems keep their order.
  const auto rows = SettingRows();
  const auto rank = [&](const TConfigProblem& p) { return p.row == nullptr ? rows.size() : size_t(p.row - rows.data()); };
  std::stable_sort(problems.begin(), problems.end(),
                   [&](const TConfigProblem& a, const TConfigProblem& b) { return rank(a) < rank(b); });
  AddLineProblems(file.text, problems);
  return problems;
}

}  // namespace kv

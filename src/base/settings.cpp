#include "base/settings.h"

#include <algorithm>
#include <climits>

#include "base/text_case.h"

namespace kv {
namespace {

using K = TSettingKind;
using O = TOutside;

constexpr int64_t kWeek = 7 * 86400;

constexpr TSettingRow kRows[] = {
    {.section = "http", .key = "port", .kind = K::Integer, .default_value = "31313",
     .meaning = "TCP port of the web server, 1..65535",
     // A wider value would wrap when bound: 70000 would listen on 4464.
     .min = 1, .max = 65535, .below = O::DefaultRefused, .above = O::DefaultRefused, .integer = &TSettings::port},
    {.section = "http", .key = "use", .kind = K::Boolean, .default_value = "1",
     .meaning = "0: no web server, collection only", .boolean = &TSettings::use_http},
    {.section = "http", .key = "max_connections", .kind = K::Integer, .default_value = "256",
     .meaning = "connections served at once", .min = 1, .max = INT_MAX, .above = O::Bound,
     .integer = &TSettings::max_connections},
    {.section = "http", .key = "max_per_client", .kind = K::Integer, .default_value = "16",
     .meaning = "connections served at once for one client address", .min = 1, .max = INT_MAX, .above = O::Bound,
     .integer = &TSettings::max_per_client},
    {.section = "http", .key = "recv_timeout", .kind = K::Integer, .default_value = "120000",
     .meaning = "milliseconds to wait for each part of a request", .min = 1, .max = INT_MAX, .above = O::Bound,
     .integer = &TSettings::recv_timeout_ms},
    {.section = "http", .key = "max_error_lines", .kind = K::Integer, .default_value = "5",
     .meaning = "SOCK.ERROR lines written in 10 s at most; the rest are counted", .min = 1, .max = INT_MAX,
     .above = O::Bound, .integer = &TSettings::max_error_lines},
    {.section = "http", .key = "listen", .kind = K::Text, .default_value = "",
     .meaning = "IPv4 address to bind; empty: every address", .text = &TSettings::listen},
    {.section = "http", .key = "allow", .kind = K::Text, .default_value = "",
     .meaning = "clients allowed: IPv4 addresses and CIDR ranges, comma-separated; empty: everyone",
     .text = &TSettings::allow},
    // Below 1 the timer once fired every second without a word.
    {.section = "scaner", .key = "timeout", .kind = K::Integer, .default_value = "600",
     .meaning = "seconds between two collections, at least 1", .min = 1, .below = O::BoundRefused,
     .integer = &TSettings::timeout},
    {.section = "scaner", .key = "restart_timeout", .kind = K::Integer, .default_value = "604800",
     .meaning = "seconds after which the service restarts itself", .integer = &TSettings::restart_timeout},
    {.section = "scaner", .key = "source_timeout", .kind = K::Integer, .default_value = "300",
     .meaning = "seconds a source command may run, at most 7 days", .min = 1, .max = kWeek, .above = O::Bound,
     .integer = &TSettings::source_timeout},
    {.section = "scaner", .key = "log", .kind = K::Boolean, .default_value = "0",
     .meaning = "collection logging flag; kept, changes no output", .boolean = &TSettings::logging},
    {.section = "source", .key = "config", .kind = K::Text, .default_value = "",
     .meaning = "controller configuration: a command or a file", .text = &TSettings::source_config},
    {.section = "source", .key = "smart", .kind = K::Text, .default_value = "",
     .meaning = "SMART data: a command or a file", .text = &TSettings::source_smart},
    {.section = "source", .key = "task", .kind = K::Text, .default_value = "",
     .meaning = "task status: a command or a file", .text = &TSettings::source_task},
    {.section = "source", .key = "stat", .kind = K::Text, .default_value = "",
     .meaning = "controller log statistics: a command or a file", .text = &TSettings::source_stat},
    {.section = "source", .key = "cache", .kind = K::Text, .default_value = "",
     .meaning = "zepCache statistics: a command or a file", .text = &TSettings::source_cache},
    // One row per key for every [source_N] section; read for N = 2 .. 8.
    {.section = "source_N", .key = "config", .kind = K::Text, .default_value = "",
     .meaning = "controller N's configuration (N = 2 to 8); a section without it is skipped",
     .source = &TSourceSet::config},
    {.section = "source_N", .key = "smart", .kind = K::Text, .default_value = "",
     .meaning = "controller N's SMART data", .source = &TSourceSet::smart},
    {.section = "source_N", .key = "task", .kind = K::Text, .default_value = "",
     .meaning = "controller N's task status", .source = &TSourceSet::task},
    {.section = "source_N", .key = "stat", .kind = K::Text, .default_value = "",
     .meaning = "controller N's log statistics", .source = &TSourceSet::stat},
    {.section = "source_N", .key = "cache", .kind = K::Text, .default_value = "",
     .meaning = "controller N's zepCache statistics", .source = &TSourceSet::cache},
    {.section = "health", .key = "drive_temperature_max", .kind = K::Integer, .default_value = "55",
     .meaning = "drive temperature (C) above which its SMART verdict is Caution", .min = -1000, .max = 1000,
     .below = O::Bound, .above = O::Bound, .integer = &TSettings::drive_temperature_max},
    // The longest command line a process can be started with on Windows.
    {.section = "notify", .key = "command", .kind = K::Text, .default_value = "",
     .meaning = "command run when a cycle has changes at min_severity; empty: none", .max = 259,
     .text = &TSettings::notify_command},
    {.section = "notify", .key = "timeout", .kind = K::Integer, .default_value = "60",
     .meaning = "seconds the notification command may run, at most 7 days", .min = 1, .max = kWeek,
     .above = O::Bound, .integer = &TSettings::notify_timeout},
    {.section = "notify", .key = "min_severity", .kind = K::Word, .default_value = "warning",
     .meaning = "information, warning or critical: the least change that notifies",
     .words = "information, warning, critical", .text = &TSettings::notify_min_severity},
    {.section = "notify", .key = "webhook", .kind = K::Text, .default_value = "",
     .meaning = "http:// or https:// address that each notification is posted to; empty: none", .max = 2000,
     .text = &TSettings::notify_webhook},
    {.section = "notify", .key = "webhook_format", .kind = K::Word, .default_value = "json",
     .meaning = "json (our document), text ({\"text\": ...} for chats) or plain (text/plain, as ntfy)",
     .words = "json, text, plain", .text = &TSettings::notify_webhook_format},
    {.section = "notify", .key = "webhook_header", .kind = K::Text, .default_value = "",
     .meaning = "one extra request header, \"Name: value\", such as an Authorization token", .max = 4000,
     .text = &TSettings::notify_webhook_header},
    {.section = "notify", .key = "webhook_ca", .kind = K::Text, .default_value = "",
     .meaning = "PEM file of the only CAs trusted for an https webhook; empty: the system's", .max = 259,
     .text = &TSettings::notify_webhook_ca},
    {.section = "notify", .key = "page_url", .kind = K::Text, .default_value = "",
     .meaning = "the address of this monitor's page that notifications link to", .max = 2000,
     .text = &TSettings::notify_page_url},
    {.section = "notify", .key = "repeat_hours", .kind = K::Integer, .default_value = "24",
     .meaning = "hours between reminders while a problem stays; 0: no reminders", .min = 0, .max = 8760,
     .above = O::Bound, .integer = &TSettings::notify_repeat_hours},
    {.section = "notify", .key = "max_per_hour", .kind = K::Integer, .default_value = "12",
     .meaning = "messages at most in any 60 minutes; more are folded into one", .min = 1, .max = 3600,
     .above = O::Bound, .integer = &TSettings::notify_max_per_hour},
    {.section = "history", .key = "use", .kind = K::Boolean, .default_value = "1",
     .meaning = "0: keep no drive history (no file is created)", .boolean = &TSettings::history_use},
    {.section = "history", .key = "file", .kind = K::Text, .default_value = "korvane_monitor_history.db",
     .meaning = "the history database; a name without a folder is beside the program", .max = 259,
     .text = &TSettings::history_file},
    {.section = "history", .key = "keep_days", .kind = K::Integer, .default_value = "730",
     .meaning = "days of history kept; older samples are deleted once a day", .min = 1, .max = 36500,
     .below = O::Bound, .above = O::Bound, .integer = &TSettings::history_keep_days},
    {.section = "history", .key = "interval", .kind = K::Integer, .default_value = "3600",
     .meaning = "seconds between two samples of every drive, at most a day", .min = 1, .max = 86400,
     .below = O::Bound, .above = O::Bound, .integer = &TSettings::history_interval},
};

// Control characters become blanks and the text is cut, so a hostile value stays one
// short log line.
std::string Printable(const std::string& value) {
  constexpr size_t kMax = 80;
  std::string out = value.substr(0, kMax);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

// The row's word that `value` names, in lower case, or "".
std::string MatchWord(const TSettingRow& row, const std::string& value) {
  std::string_view words = row.words;
  while (!words.empty()) {
    const size_t comma = words.find(", ");
    const std::string_view word = words.substr(0, comma);
    if (SameTextAscii(word, value)) return std::string(word);
    words = comma == std::string_view::npos ? std::string_view() : words.substr(comma + 2);
  }
  return std::string();
}

// A [source_N] key of every numbered section in the file.
void ReadNumberedSourceRow(const TMemIniFile& ini, const TSettingRow& row, TSettings& settings) {
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::string section = NumberedSourceSection(number);
    if (!ini.SectionExists(section)) continue;
    std::optional<TSourceSet>& set = settings.numbered_sources[static_cast<size_t>(number)];
    if (!set) set.emplace();
    (*set).*row.source = ini.ReadString(section, row.key, "");
  }
}

void ReadRow(const TMemIniFile& ini, const TSettingRow& row, TSettings& settings) {
  if (row.source != nullptr) return ReadNumberedSourceRow(ini, row, settings);
  const bool configured = ini.ValueExists(row.section, row.key);
  const std::string raw = configured ? ini.ReadString(row.section, row.key, "") : std::string();
  auto refuse = [&](TRefusedSetting::Why why) { settings.refused.push_back({&row, why, raw}); };
  switch (row.kind) {
    case K::Integer:
    case K::Boolean: {
      int64_t fallback = 0;
      ParseIniInteger(row.default_value, fallback);
      int64_t value = fallback;
      if (configured && !ParseIniInteger(raw, value)) {
        value = fallback;
        refuse(TRefusedSetting::Why::NotANumber);
      }
      if (row.kind == K::Boolean) {
        settings.*row.boolean = value != 0;
        break;
      }
      const bool low = value < row.min;
      if (low || value > row.max) {
        const TOutside rule = low ? row.below : row.above;
        const bool bound = rule == O::Bound || rule == O::BoundRefused;
        value = bound ? (low ? row.min : row.max) : fallback;
        if (rule == O::DefaultRefused) refuse(TRefusedSetting::Why::OutOfRange);
        if (rule == O::BoundRefused) settings.refused.push_back({&row, TRefusedSetting::Why::Bounded, raw, value});
      }
      settings.*row.integer = value;
      break;
    }
    case K::Text:
      settings.*row.text = configured ? raw : std::string(row.default_value);
      if (static_cast<int64_t>(raw.size()) > row.max) refuse(TRefusedSetting::Why::TooLong);
      break;
    case K::Word: {
      // An empty value asks for the default.
      std::string word = raw.empty() ? std::string() : MatchWord(row, raw);
      if (!raw.empty() && word.empty()) refuse(TRefusedSetting::Why::NotAWord);
      settings.*row.text = word.empty() ? std::string(row.default_value) : word;
      break;
    }
  }
}

}  // namespace

std::span<const TSettingRow> SettingRows() { return kRows; }

std::string NumberedSourceSection(int number) { return "source_" + std::to_string(number); }

std::string ControllerSource(const std::string& value, int number) {
  std::string out;
  const std::string_view placeholder = kControllerPlaceholder;
  size_t from = 0;
  for (size_t at = value.find(placeholder); at != std::string::npos; at = value.find(placeholder, from)) {
    out.append(value, from, at - from).append(std::to_string(number));
    from = at + placeholder.size();
  }
  return out.append(value, from, std::string::npos);
}

std::string HistoryFilePath(const TSettings& settings, const std::string& folder) {
  const std::string& file = settings.history_file;
  if (!settings.history_use || file.empty()) return std::string();
  const bool own_folder = file.find_first_of("/\\:") != std::string::npos;
  if (own_folder) return file;
  return folder.empty() ? std::string() : folder + file;
}

TSourceSet ConfiguredSources(const TSettings& settings, int number) {
  if (number == 1)
    return {settings.source_config, settings.source_smart, settings.source_task, settings.source_stat,
            settings.source_cache};
  if (number < 2 || number > kMaxControllers) return {};
  return settings.numbered_sources[static_cast<size_t>(number)].value_or(TSourceSet{});
}

TSettings ReadSettings(const TMemIniFile& ini) {
  TSettings settings;
  for (const TSettingRow& row : kRows) ReadRow(ini, row, settings);
  return settings;
}

const TSettings& DefaultSettings() {
  static const TSettings defaults = ReadSettings(TMemIniFile());
  return defaults;
}

std::string SettingValueText(const TSettings& settings, const TSettingRow& row) {
  if (row.source != nullptr) return std::string();  // one value per section: see ConfiguredSources
  switch (row.kind) {
    case K::Integer:
      return std::to_string(settings.*row.integer);
    case K::Boolean:
      return settings.*row.boolean ? "1" : "0";
    case K::Text:
    case K::Word:
      break;
  }
  return settings.*row.text;
}

std::string WordsText(const TSettingRow& row) {
  std::string words = row.words;
  const size_t last = words.rfind(", ");
  if (last != std::string::npos) words.replace(last, 2, " or ");
  return words;
}

std::string RefusalLogText(const TRefusedSetting& refused) {
  const TSettingRow& row = *refused.row;
  const std::string name = std::string("[") + row.section + "] " + row.key;
  switch (refused.why) {
    case TRefusedSetting::Why::NotANumber:
      return name + "=" + Printable(refused.value) + " is not a number, using " + row.default_value;
    case TRefusedSetting::Why::OutOfRange:
      return name + "=" + Printable(refused.value) + " is outside " + std::to_string(row.min) + ".." +
             std::to_string(row.max) + ", using " + row.default_value;
    case TRefusedSetting::Why::Bounded:
      return name + "=" + Printable(refused.value) + (refused.bound == row.min ? " is below " : " is above ") +
             std::to_string(refused.bound) + ", using " + std::to_string(refused.bound);
    case TRefusedSetting::Why::NotAWord:
      return name + "=" + Printable(refused.value) + " is not " + WordsText(row) + ": " + row.default_value +
             " is used";
    case TRefusedSetting::Why::TooLong:
      return name + " is longer than " + std::to_string(row.max) + " characters: it is never run";
  }
  return std::string();
}

}  // namespace kv

#pragma once
// The keys of config_http.txt as one table: a row per key with its section, kind, default,
// bounds, a one-line meaning and the field of TSettings it fills. Reading the file, --help,
// --check-config and the README's settings table all follow it (a test compares the README
// with it), so a new setting is one row and one field.
//
// Reading keeps the INI rules (base/ini_file.h): the last section and key win, integers are
// decimal, "0x" or "$" hexadecimal, and a value that cannot be read takes the default. Then
// the row's bounds: an integer below `min` or above `max` takes the default or the nearest
// bound, as the row says; a word not among the row's words takes the default; a text longer
// than `max` is kept (its reader decides what it means).
//
// Every layer may read a TSettings; the service reads the file and hands it down.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/ini_file.h"

namespace kv {

inline constexpr char kConfigFileName[] = "config_http.txt";

// Controllers watched at most: [source] and [source_2] .. [source_8].
inline constexpr int kMaxControllers = 8;
// Put in place of this text in a [source] value, that value serves every controller.
inline constexpr char kControllerPlaceholder[] = "{controller}";

// The five sources of one controller: a command line or a saved file name each.
struct TSourceSet {
  std::string config, smart, task, stat, cache;
};

struct TSettingRow;

// A configured value that was not taken as written.
struct TRefusedSetting {
  enum class Why { NotANumber, OutOfRange, Bounded, NotAWord, TooLong };
  const TSettingRow* row;
  Why why;
  std::string value;  // as configured
  int64_t bound = 0;  // Bounded: the bound taken instead
};

struct TSettings {
 public:
  // [http]
  int64_t port = 0;
  bool use_http = false;
  int64_t max_connections = 0;
  int64_t max_per_client = 0;
  int64_t recv_timeout_ms = 0;
  int64_t max_error_lines = 0;
  std::string listen;
  std::string allow;
  // [scaner]
  int64_t timeout = 0;
  int64_t restart_timeout = 0;
  int64_t source_timeout = 0;
  bool logging = false;
  // [source]
  std::string source_config;
  std::string source_smart;
  std::string source_task;
  std::string source_stat;
  std::string source_cache;
  // [source_2] .. [source_8], at the controller's number; a section not in the file is absent.
  std::array<std::optional<TSourceSet>, kMaxControllers + 1> numbered_sources;
  // [health]
  int64_t drive_temperature_max = 0;
  // [notify]
  std::string notify_command;
  int64_t notify_timeout = 0;
  std::string notify_min_severity;  // one of the row's words, in lower case
  std::string notify_webhook;
  std::string notify_webhook_format;  // one of the row's words, in lower case
  std::string notify_webhook_header;
  std::string notify_webhook_ca;
  std::string notify_page_url;
  int64_t notify_repeat_hours = 0;
  int64_t notify_max_per_hour = 0;
  // [history]
  bool history_use = false;
  std::string history_file;
  int64_t history_keep_days = 0;
  int64_t history_interval = 0;

  std::vector<TRefusedSetting> refused;  // in table order

 private:
  // Only the reader makes one, so no field is ever left at zero in place of its default.
  TSettings() = default;
  friend TSettings ReadSettings(const TMemIniFile& ini);
};

enum class TSettingKind { Integer, Boolean, Text, Word };

// What an integer outside the row's bounds becomes.
enum class TOutside {
  Default,          // the default, silently (a documented way to ask for it)
  Bound,            // the nearest bound
  DefaultRefused,   // the default, and the value is listed in TSettings::refused
  BoundRefused,     // the nearest bound, and the value is listed in TSettings::refused
};

struct TSettingRow {
  const char* section;
  const char* key;
  TSettingKind kind;
  const char* default_value;  // as --help and the README show it; "" is empty
  const char* meaning;        // one line, for --help
  int64_t min = INT64_MIN;    // Integer: bounds; Text: max is the longest usable length
  int64_t max = INT64_MAX;
  TOutside below = TOutside::Default;
  TOutside above = TOutside::Default;
  const char* words = "";  // Word: the accepted words, separated by ", "
  // The field filled: the one that matches the kind.
  int64_t TSettings::*integer = nullptr;
  bool TSettings::*boolean = nullptr;
  std::string TSettings::*text = nullptr;  // Text and Word
  // A [source_N] row (section "source_N"): the key of every numbered section that exists.
  std::string TSourceSet::*source = nullptr;
};

// The section name of a [source_N] row for controller `number`: "source_2".
std::string NumberedSourceSection(int number);

// `value` with every "{controller}" replaced by `number`.
std::string ControllerSource(const std::string& value, int number);

// The drive history file: [history] file, beside `folder` (with its separator) when it names
// no folder of its own. Empty when [history] use=0, or when it would be beside an empty
// folder (tests that keep no files).
std::string HistoryFilePath(const TSettings& settings, const std::string& folder);

// Controller `number`'s sources as configured: [source] for 1, else [source_N] (empty when
// the section is absent). Template values are returned as written.
TSourceSet ConfiguredSources(const TSettings& settings, int number);

std::span<const TSettingRow> SettingRows();

TSettings ReadSettings(const TMemIniFile& ini);
// Every key at its default.
const TSettings& DefaultSettings();

// The effective value of a row as --check-config shows it: "31313", "1", "warning".
std::string SettingValueText(const TSettings& settings, const TSettingRow& row);

// A Word row's words as a reader would list them: "information, warning or critical".
std::string WordsText(const TSettingRow& row);

// The core-log line (without "ERROR! ") for a refused value:
//   [http] port=abc is not a number, using 31313
//   [http] port=70000 is outside 1..65535, using 31313
//   [scaner] timeout=0 is below 1, using 1
//   [notify] min_severity=urgent is not information, warning or critical: warning is used
//   [notify] command is longer than 259 characters: it is never run
std::string RefusalLogText(const TRefusedSetting& refused);

}  // namespace kv

#pragma once
// config_http.txt: read once at every service start from the program folder, never from
// the current folder; nothing is written back. Its keys, defaults and bounds are the table
// of base/settings.h; the service reads the file and hands the settings down.
//
// The problems of a configuration are listed once, here: --check-config prints them and
// exits 2 when there are any, and the service writes each to the core log at start as
// "ERROR! " + text:
//
//   [scaner] timeout=0 is below 1, using 1
//   [source] config: program not found: /opt/kv/kvutil
//   config_http.txt line 5: prot=8080 (unknown key in section [http])
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/ini_file.h"
#include "base/settings.h"

namespace kv {

// The configuration failed to load: the file exists but cannot be read.
class ConfigReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TConfigFile {
  std::string path;    // <program folder>config_http.txt
  bool found = false;  // false: no file, every key takes its default
  std::string text;    // as read, without a UTF-8 byte-order mark
};

// Reads <folder>config_http.txt. A UTF-8 byte-order mark (Notepad writes one) is dropped,
// so the first section is read. A file that exists but cannot be read throws
// ConfigReadError naming the path.
TConfigFile ReadConfigFile(const std::string& program_folder);
// The same as an INI file; a missing file gives an empty one.
TMemIniFile LoadConfigFile(const std::string& program_folder);

struct TConfigProblem {
  const TSettingRow* row = nullptr;  // the key it concerns; null for a line of the file
  // What --check-config adds after the key's origin (nothing for a refused value, whose
  // origin says it), or the line it lists under "Lines not understood".
  std::string note;
  std::string text;  // the core-log line without "ERROR! "
};

// Every problem of `file` read as `settings`: by key in table order, then the lines that
// the reader skips or that name nothing this program reads. Relative sources and programs
// are taken from the folder of the file, where the service runs its commands.
std::vector<TConfigProblem> ConfigProblems(const TConfigFile& file, const TSettings& settings);

// A configured text as the reports show it: control bytes as "?", cut at 80 with "...".
std::string ShownConfigText(std::string_view text);

}  // namespace kv

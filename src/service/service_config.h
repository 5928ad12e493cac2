#pragma once
// config_http.txt: read once at every service start from the program folder, never from
// the current folder; nothing is written back. Its keys, defaults and bounds are the table
// of base/settings.h; the service reads the file and hands the settings down.
#include <stdexcept>
#include <string>

#include "base/ini_file.h"
#include "base/settings.h"

namespace kv {

// The configuration failed to load: the file exists but cannot be read.
class ConfigReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads <folder>config_http.txt. A missing file gives an empty INI (every key takes its
// default); a file that exists but cannot be read throws ConfigReadError naming the path.
TMemIniFile LoadConfigFile(const std::string& program_folder);

}  // namespace kv

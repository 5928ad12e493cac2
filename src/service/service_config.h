#pragma once
// config_http.txt: read once at every service start from the program folder, never from
// the current folder; nothing is written back.
//
//   [http]
//   port=31313
//   use=1
//   [scaner]
//   timeout=600
//   restart_timeout=604800
//
// This header covers the keys the service host reads itself; section "source" and
// scaner/restart_timeout belong to the scan list manager, section "http" also to the
// listener (connection limits).
#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/ini_file.h"

namespace kv {

inline constexpr char kConfigFileName[] = "config_http.txt";

struct ServiceConfig {
  int64_t port = 31313;    // http/port
  bool use_http = true;    // http/use
  int64_t timeout = 600;   // scaner/timeout: collection period in seconds
};

ServiceConfig ReadServiceConfig(const TMemIniFile& ini);

// The configuration failed to load: the file exists but cannot be read.
class ConfigReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads <folder>config_http.txt. A missing file gives an empty INI (every key takes its
// default); a file that exists but cannot be read throws ConfigReadError naming the path.
TMemIniFile LoadConfigFile(const std::string& program_folder);

}  // namespace kv

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
//   log=0
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

inline constexpr int64_t kDefaultPort = 31313;

struct ServiceConfig {
  int64_t port = kDefaultPort;  // http/port, always within 1..65535
  // A configured port outside 1..65535 (0 included) as written; the default is used.
  std::string port_out_of_range;
  bool use_http = true;    // http/use
  int64_t timeout = 600;   // scaner/timeout: collection period in seconds
  bool logging = false;    // scaner/log: the scan list manager's logging flag
};

ServiceConfig ReadServiceConfig(const TMemIniFile& ini);

// "ERROR! [http] port=70000 is outside 1..65535, using 31313"
std::string PortOutOfRangeLine(const std::string& value);

// The configuration failed to load: the file exists but cannot be read.
class ConfigReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads <folder>config_http.txt. A missing file gives an empty INI (every key takes its
// default); a file that exists but cannot be read throws ConfigReadError naming the path.
TMemIniFile LoadConfigFile(const std::string& program_folder);

}  // namespace kv

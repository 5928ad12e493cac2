#pragma once
// The operating-system half of the restart program: stop a service and start it again.
//
// Windows: through the service control manager. Stop (when it runs), wait until it is
// stopped, start, wait until it runs; each wait is bounded by `wait_seconds`.
// Linux: when systemd runs and knows the unit "<service>.service" as active, the restart
// is handed to "systemctl --no-block restart <service>.service" (the restart program
// itself lives in the unit's control group, so it must not wait for the stop that ends
// it). Otherwise every process whose executable is `program_path` gets SIGTERM; after
// `wait_seconds` without exit it gets SIGKILL; then the program is started again,
// detached, with `program_folder` as its current folder.
//
// Each step is reported through `log` as one line of text. Returns true on success.
#include <functional>
#include <string>

namespace kv::platform {

using ReloadLog = std::function<void(const std::string&)>;

struct ReloadTarget {
  std::string service;         // service or unit name, without ".service"
  std::string program_path;    // full path of the monitor's executable
  std::string program_folder;  // its folder, with the trailing separator
  int wait_seconds = 60;
};

bool RestartServiceNow(const ReloadTarget& target, const ReloadLog& log);

}  // namespace kv::platform

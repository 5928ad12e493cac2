#pragma once
// The service framework: what the process does with its command line, and the bridge
// between the system's service manager and the program's four service handlers.
//
//   korvane_monitor [/INSTALL | /UNINSTALL] [/SILENT]     ("-" works too, any letter case)
//
// Install: Windows registers an automatic own-process service with the service control
// manager; Linux writes the systemd unit <name>.service into SystemdUnitFolder(). Then
// AfterInstall runs. Uninstall removes them, then AfterUninstall runs. Unless silent, the
// outcome is shown to the user (a message box on Windows, a line on stdout/stderr on Linux).
//
// Run (no switch): Windows connects to the service control manager; the dispatcher takes
// the calling thread and `loop` runs on a thread of its own. Start and Stop
// run on the service thread; the service reports start-pending, running, stop-pending and
// stopped and accepts stop, shutdown, pause and continue. Linux: the calling thread runs
// `loop` and a control thread calls Start, waits for SIGTERM or SIGINT, calls
// Stop and ends the loop. Either way RunServiceApplication returns once the loop has
// ended. A Start that throws fails the start: its message goes to the event log as an
// error, Windows reports the service stopped with a service-specific error, and the
// returned exit code is non-zero.
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/main_loop.h"

namespace kv::platform {

struct ServiceDefinition {
  std::string name;               // service name and event source
  std::string display_name;
  std::string application_title;  // caption of the confirmation messages
};

enum class ServiceAction { kRun, kInstall, kUninstall };

struct ServiceCommandLine {
  ServiceAction action = ServiceAction::kRun;
  bool silent = false;
};

// Reads the switches INSTALL, UNINSTALL and SILENT, introduced by "/" or "-", without
// regard to case. INSTALL wins over UNINSTALL; other arguments are ignored.
ServiceCommandLine ParseServiceCommandLine(const std::vector<std::string>& args);

class ServiceHandlers {
 public:
  virtual ~ServiceHandlers() = default;
  virtual void Start() = 0;  // throws to fail the start
  virtual void Stop() = 0;
  virtual void AfterInstall() = 0;
  virtual void AfterUninstall() = 0;
};

// Performs the command line's action; returns the process exit code.
// `loop` is the process's main loop; it runs here until the service has stopped.
int RunServiceApplication(const ServiceDefinition& definition, const ServiceCommandLine& command,
                          ServiceHandlers& handlers, EventLogSink& events, MainLoop& loop);

// The per-platform parts of RunServiceApplication, each returning the exit code.
int InstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers);
int UninstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers);
int RunService(const ServiceDefinition& definition, ServiceHandlers& handlers, EventLogSink& events,
               MainLoop& loop);

// Stores the description the service manager shows; `description` is Windows-1251 text.
// Windows: the "Description" value of the service's registry key. Linux: the
// Description= line of the installed unit, in UTF-8.
bool SetServiceDescription(const std::string& name, const std::string& description);

// Linux: $KORVANE_SYSTEMD_DIR when set and not empty, else /etc/systemd/system.
std::string SystemdUnitFolder();

}  // namespace kv::platform

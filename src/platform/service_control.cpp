#include "platform/service_control.h"

#include <cstdlib>

#include "base/text_case.h"

namespace kv::platform {

ServiceCommandLine ParseServiceCommandLine(const std::vector<std::string>& args) {
  bool install = false;
  bool uninstall = false;
  ServiceCommandLine command;
  for (const std::string& arg : args) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) continue;
    std::string_view name(arg.data() + 1, arg.size() - 1);
    if (SameTextAscii(name, "INSTALL")) install = true;
    else if (SameTextAscii(name, "UNINSTALL")) uninstall = true;
    else if (SameTextAscii(name, "SILENT")) command.silent = true;
  }
  if (install) command.action = ServiceAction::kInstall;
  else if (uninstall) command.action = ServiceAction::kUninstall;
  return command;
}

int RunServiceApplication(const ServiceDefinition& definition, const ServiceCommandLine& command,
                          ServiceHandlers& handlers, EventLogSink& events, MainLoop& loop) {
  switch (command.action) {
    case ServiceAction::kInstall:
      return InstallService(definition, command.silent, handlers);
    case ServiceAction::kUninstall:
      return UninstallService(definition, command.silent, handlers);
    case ServiceAction::kRun:
      break;
  }
  return RunService(definition, handlers, events, loop);
}

std::string SystemdUnitFolder() {
  const char* dir = std::getenv("KORVANE_SYSTEMD_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return "/etc/systemd/system";
}

}  // namespace kv::platform

// Process entry: the core log first, then the service framework with the service object.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/program_folder.h"
#include "platform/service_control.h"
#include "platform/write_failures.h"
#include "service/command_switches.h"
#include "service/core_log.h"
#include "service/monitor_service.h"

int main(int argc, char** argv) {
  // --help, --version, --check-config, --test-notify: answered before the core log starts, so they never
  // start a running service's log afresh.
  if (const kv::InfoSwitch info = kv::ParseInfoSwitch(std::vector<std::string>(argv + 1, argv + argc));
      info != kv::InfoSwitch::kNone)
    return kv::RunInfoSwitch(info, kv::platform::ProgramFolder());
  // Opened before the core log, so that a core log that cannot be written is told there;
  // never freed, like the service object below.
  auto* events = kv::platform::OpenSystemEventLog(kv::kServiceName).release();
  kv::platform::WriteFailures().SetEvents(events);
  kv::StartCoreLog();
  int exit_code = 1;
  {
    std::vector<std::string> args(argv + 1, argv + argc);
    const kv::platform::ServiceCommandLine command = kv::platform::ParseServiceCommandLine(args);
    // Deliberately never freed: the listener thread holds on to the service object as its
    // event sink until the process ends.
    auto* loop = new kv::platform::MainLoop();
    auto* service = new kv::TKorvaneMonitorHTTPServer(*events, kv::platform::ProgramFolder(), *loop);
    exit_code = kv::platform::RunServiceApplication(kv::TKorvaneMonitorHTTPServer::Definition(), command,
                                                    *service, *events, *loop);
  }
  kv::EndCoreLog();
  std::fflush(stdout);
  std::fflush(stderr);
  // The listener and connection threads still run; end the process without running
  // static destructors underneath them.
  std::_Exit(exit_code);
}

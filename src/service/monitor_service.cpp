#include "service/monitor_service.h"

#include <stdexcept>

#include "base/core_log_writer.h"
#include "collect/scan_list_manager.h"
#include "platform/program_folder.h"
#include "service/service_config.h"

namespace kv {

TKorvaneMonitorHTTPServer::TKorvaneMonitorHTTPServer(platform::EventLogSink& events,
                                                     std::string program_folder, platform::MainLoop& loop,
                                                     SocketLibraryLoader load_sockets)
    : events_(events),
      program_folder_(std::move(program_folder)),
      collect_env_(loop, served_texts_, resources_, events) {
  LoadEmbeddedResources(resources_);
  LoadSocketInterface(socket_error_, load_sockets);
}

TKorvaneMonitorHTTPServer::~TKorvaneMonitorHTTPServer() = default;

platform::ServiceDefinition TKorvaneMonitorHTTPServer::Definition() {
  return platform::ServiceDefinition{kServiceName, kServiceDisplayName, kApplicationTitle};
}

void TKorvaneMonitorHTTPServer::ServiceStart() {
  if (!socket_error_.empty()) throw std::runtime_error(socket_error_);
  ScanListManager = new TScanListManager(collect_env_);
  // A missing file means defaults; an unreadable one fails the start here.
  const TConfigFile config = ReadConfigFile(program_folder_);
  const TSettings settings = ReadSettings(TMemIniFile(config.text));
  // What --check-config reports, line for line.
  for (const TConfigProblem& problem : ConfigProblems(config, settings)) WriteCoreLog("ERROR! " + problem.text);
  use_http_ = settings.use_http;
  if (use_http_) {
    HttpDaemon = new TTCPHttpDaemon(program_folder_, std::to_string(settings.port), *this, HttpSettings(settings),
                                    served_texts_, resources_);
  }
  ScanListManager->Timeout = settings.timeout;
  ScanListManager->Logging = settings.logging;
  ScanListManager->Configure(settings);
  events_.AnnounceStart(use_http_);
}

void TKorvaneMonitorHTTPServer::ServiceStop() {
  events_.LogStopMessage();
  TScanListManager* manager = ScanListManager;
  ScanListManager = nullptr;
  try {
    delete manager;
  } catch (...) {
  }
}

void TKorvaneMonitorHTTPServer::ServiceAfterInstall() {
  const std::string exe = platform::ExecutablePath();
  if (!platform::RegisterEventLogSource(kServiceName, exe))
    throw std::runtime_error("cannot register the event log source");
  if (!platform::SetServiceDescription(kServiceName, kServiceDescription))
    throw std::runtime_error("cannot write the service description");
}

void TKorvaneMonitorHTTPServer::ServiceAfterUninstall() {
  if (!platform::UnregisterEventLogSource(kServiceName))
    throw std::runtime_error("cannot remove the event log source");
}

void TKorvaneMonitorHTTPServer::LogStartMessage(bool store, const std::string& address,
                                                const std::string& port) {
  events_.LogStartMessage(store, address, port);
}

void TKorvaneMonitorHTTPServer::LogErrorMessage(const std::string& text) { events_.LogErrorMessage(text); }

}  // namespace kv

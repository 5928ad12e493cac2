#include "service/monitor_service.h"

#include <stdexcept>

#include "collect/scan_list_manager.h"
#include "platform/program_folder.h"
#include "service/service_config.h"

namespace kv {

TKorvaneMonitorHTTPServer::TKorvaneMonitorHTTPServer(platform::EventLogSink& events,
                                                     std::string program_folder, platform::MainLoop& loop)
    : events_(events), program_folder_(std::move(program_folder)), loop_(loop) {}

TKorvaneMonitorHTTPServer::~TKorvaneMonitorHTTPServer() = default;

platform::ServiceDefinition TKorvaneMonitorHTTPServer::Definition() {
  return platform::ServiceDefinition{kServiceName, kServiceDisplayName, kApplicationTitle};
}

void TKorvaneMonitorHTTPServer::ServiceStart() {
  ScanListManager = new TScanListManager();
  // A missing file means defaults; an unreadable one fails the start here.
  const TMemIniFile ini = LoadConfigFile(program_folder_);
  const ServiceConfig config = ReadServiceConfig(ini);
  use_http_ = config.use_http;
  if (use_http_) {
    HttpDaemon = new TTCPHttpDaemon(program_folder_, std::to_string(config.port), *this,
                                    ReadHttpSettings(ini));
  }
  ScanListManager->Timeout = config.timeout;
  ScanListManager->Configure(ini);
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

void TKorvaneMonitorHTTPServer::OnMainThread(const std::function<void()>& fn) {
  // After the loop has ended (process exit under way) the record is written here instead.
  if (!loop_.Synchronize(fn)) fn();
}

void TKorvaneMonitorHTTPServer::LogStartMessage(bool store, const std::string& address,
                                                const std::string& port) {
  OnMainThread([&] { events_.LogStartMessage(store, address, port); });
}

void TKorvaneMonitorHTTPServer::LogErrorMessage(const std::string& text) {
  OnMainThread([&] { events_.LogErrorMessage(text); });
}

}  // namespace kv

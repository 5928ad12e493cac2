#pragma once
// TKorvaneMonitorHTTPServer: the service object. Its four handlers are called by the
// service framework (platform/service_control.h): Start and Stop on the service thread,
// AfterInstall and AfterUninstall in the installing process.
//
// Start creates the scan list manager, reads config_http.txt from the program folder,
// starts the HTTP listener unless http/use=0, configures the manager and writes the start
// event. Stop writes the stop event and frees the manager. The listener is never freed:
// it lives until the process ends.
//
// As the listener's HttpServiceEvents, LogStartMessage and LogErrorMessage run on the
// calling thread and never wait for the main loop: the first collection may hold the
// loop for as long as a source command runs, and the server must answer meanwhile.
//
// The socket library is loaded when the object is created, at process start; a library
// that could not be loaded makes ServiceStart fail with "Error loading Socket interface
// (ws2_32.dll)!", which the framework reports as an error event.
#include <memory>
#include <string>

#include "collect/collect_env.h"
#include "http/http_daemon.h"
#include "platform/event_log.h"
#include "platform/service_control.h"
#include "platform/socket.h"
#include "service/service_events.h"

namespace kv {

class TScanListManager;

class TKorvaneMonitorHTTPServer : public HttpServiceEvents, public platform::ServiceHandlers {
 public:
  // `program_folder` ends with the path separator; `loop` is the main loop the collection
  // ticks run on; `load_sockets` loads the platform's socket library (tests hand in one
  // that fails).
  TKorvaneMonitorHTTPServer(platform::EventLogSink& events, std::string program_folder, platform::MainLoop& loop,
                            SocketLibraryLoader load_sockets = platform::LoadSocketLibrary);
  ~TKorvaneMonitorHTTPServer() override;

  static platform::ServiceDefinition Definition();

  void ServiceStart();
  void ServiceStop();
  void ServiceAfterInstall();
  void ServiceAfterUninstall();

  // HttpServiceEvents
  void LogStartMessage(bool store, const std::string& address, const std::string& port) override;
  void LogErrorMessage(const std::string& text) override;

  // platform::ServiceHandlers
  void Start() override { ServiceStart(); }
  void Stop() override { ServiceStop(); }
  void AfterInstall() override { ServiceAfterInstall(); }
  void AfterUninstall() override { ServiceAfterUninstall(); }

  bool UseHttp() const { return use_http_; }

 private:
  TServiceEventWriter events_;
  std::string program_folder_;
  TMFileList resources_;       // the embedded files, unpacked once; read by both sides
  TServedTexts served_texts_;  // the listener's threads read it until the process ends
  TSystemCollectEnv collect_env_;
  std::string socket_error_;  // set when the socket library could not be loaded
  TTCPHttpDaemon* HttpDaemon = nullptr;         // never freed: ends with the process
  TScanListManager* ScanListManager = nullptr;  // created by Start, freed by Stop
  bool use_http_ = true;
};

}  // namespace kv

#pragma once
// TTCPHttpDaemon: the HTTP listener thread. It binds the configured port on all local
// addresses (or the one of [http] listen), reports the start (or the failure) through
// HttpServiceEvents, then accepts
// connections up to the bounds of HttpSettings (a connection over a bound gets a 503
// page at once), waits for their first bytes itself, all in one wait, and then hands each
// to a connection worker thread, which answers it as one TTCPHttpThrd. A connection that
// sends nothing within recv_timeout_ms is closed by the listener with the worker's log
// line. Workers are started as connections need them (at most max_connections) and end
// after two seconds without work.
//
// The listener thread starts in the constructor and runs until the process ends; the
// service never frees the object. Destroying it (tests) asks the thread to stop within a
// second and close the port; connections already accepted are answered, then the
// workers end.
// The events object must outlive the listener and its connection threads.
#include <memory>
#include <string>

#include "base/settings.h"
#include "http/client_allow_list.h"
#include "platform/socket.h"

namespace kv {

struct HttpSettings {
  // The [http] keys of `settings` (base/settings.h holds their defaults and bounds).
  explicit HttpSettings(const TSettings& settings = DefaultSettings());

  int max_connections;  // connections at once, all clients together; as many threads at most
  // Connections at once for one client address. Well below max_connections, so that a
  // few addresses holding connections open cannot take every one.
  int max_per_client;
  int recv_timeout_ms;  // wait for each packet of a request
  int max_error_lines;  // "SOCK.ERROR" lines in the core log per 10 s; the rest are counted
  std::string listen;   // the address to bind; empty: every address
  TClientAllowList allow;  // who may read; everyone by default
  // [history] use and file: the listener finds the file beside its folder (HistoryFilePath).
  bool history_use;
  std::string history_file;
};

// The service object's event-log operations, called on the HTTP threads. They must not
// wait for the main loop: a collection may hold it for as long as a source runs.
class TMFileList;
class TServedTexts;

class HttpServiceEvents {
 public:
  virtual ~HttpServiceEvents() = default;
  virtual void LogStartMessage(bool store, const std::string& address, const std::string& port) = 0;
  virtual void LogErrorMessage(const std::string& text) = 0;
};

using SocketLibraryLoader = bool (*)();

// Loads the platform's socket library for the process through `load`. On failure returns
// false with "Error loading Socket interface (ws2_32.dll)!" in `error_text`.
bool LoadSocketInterface(std::string& error_text, SocketLibraryLoader load = platform::LoadSocketLibrary);

class TTCPHttpDaemon {
 public:
  // `root_dir`: the program folder; `port`: decimal text ("0" picks a free port); `texts`
  // and `resources` (the embedded files) must outlive the listener and its connection threads.
  TTCPHttpDaemon(const std::string& root_dir, const std::string& port, HttpServiceEvents& events,
                 const HttpSettings& settings, const TServedTexts& texts, const TMFileList& resources);
  ~TTCPHttpDaemon();
  TTCPHttpDaemon(const TTCPHttpDaemon&) = delete;
  TTCPHttpDaemon& operator=(const TTCPHttpDaemon&) = delete;

  struct State;

 private:
  std::shared_ptr<State> state_;  // shared with the listener and connection threads
};

}  // namespace kv

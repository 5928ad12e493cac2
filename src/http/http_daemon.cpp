#include "http/http_daemon.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/core_log_writer.h"
#include "http/block_socket.h"
#include "http/connection_limit.h"
#include "http/http_text.h"
#include "http/http_thread.h"
#include "http/lingering_closer.h"
#include "http/log_throttle.h"
#include "http/request_path.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "platform/socket_thread.h"

namespace kv {

namespace {

constexpr std::size_t kConnectionStack = 256 * 1024;
constexpr int kAcceptWaitMs = 1000;
constexpr int kAcceptRound = 64;  // connections taken per wait at most, so stop is seen
constexpr uint32_t kErrorLogWindowMs = 10000;
// A connection worker with nothing to do for this long ends, so an idle service holds
// no threads for connections (bench/soak.sh checks the count comes back after a load).
constexpr auto kWorkerIdle = std::chrono::seconds(2);

}  // namespace

struct TTCPHttpDaemon::State {
  State(const std::string& root, const std::string& port_text, HttpServiceEvents& ev,
        const HttpSettings& s, const TServedTexts& served, const TMFileList& files)
      : RootDir(AddTrailingDelimiter(root, platform::PathSeparator())),
        Port(port_text),
        events(ev),
        texts(served),
        resources(files),
        settings(s),
        limit(s.max_connections, s.max_per_client),
        error_log(s.max_error_lines, kErrorLogWindowMs) {
    context.root_dir = RootDir;
    context.recv_timeout_ms = settings.recv_timeout_ms;
    context.events = &events;
    context.error_log = &error_log;
    context.allow = &settings.allow;
    context.texts = &texts;
    context.resources = &resources;
    TSettings history = DefaultSettings();
    history.history_use = s.history_use;
    history.history_file = s.history_file;
    context.history_path = HistoryFilePath(history, RootDir);
  }

  struct Pending {
    platform::SocketHandle handle = platform::kNoSocket;
    std::string peer;
  };

  // Accepted and counted, its request not begun: the listener waits for it (WaitForRequests).
  struct Waiting {
    Pending connection;
    uint32_t since_ms;
  };

  void Execute();
  void WaitForRequests(platform::SocketHandle listener);
  void TimeOut(const Pending& connection);
  // Hands counted connections to workers, starting workers when none is free.
  void StartConnections(std::vector<Pending>& ready);
  void Refuse(platform::SocketHandle handle, const std::string& peer);
  void Serve(const Pending& connection);
  void Work();
  void StopWorkers();

  const std::string RootDir;
  const std::string Port;
  HttpServiceEvents& events;
  const TServedTexts& texts;
  const TMFileList& resources;
  const HttpSettings settings;
  ConnectionLimit limit;
  CoreLogThrottle error_log;
  TLingeringCloser closer;
  std::atomic<bool> stop{false};
  std::mutex refusal_lock;  // the pace of the refusal lines
  bool refusal_logged = false;
  uint32_t last_refusal_log_ms = 0;
  std::weak_ptr<State> self;
  HttpConnectionContext context;
  std::vector<Waiting> waiting;   // the listener thread's only
  std::vector<Pending> arrived;   // the listener's: waiting ones whose bytes came

  // The connection workers. They are started as connections need them, never more than
  // max_connections: ConnectionLimit keeps no more connections than that in flight, so a
  // connection waits in `queue` only for a worker that is closing its last one.
  std::mutex pool_lock;
  std::condition_variable pool_wake;
  std::deque<Pending> queue;       // accepted and counted, not yet taken by a worker
  int workers = 0;                 // running
  int idle = 0;                    // waiting for work, less the connections queued
  bool workers_stop = false;
};

// The table bounds the integers to 1..INT_MAX.
HttpSettings::HttpSettings(const TSettings& settings)
    : max_connections(static_cast<int>(settings.max_connections)),
      max_per_client(static_cast<int>(settings.max_per_client)),
      recv_timeout_ms(static_cast<int>(settings.recv_timeout_ms)),
      max_error_lines(static_cast<int>(settings.max_error_lines)),
      listen(settings.listen),
      allow(settings.allow),
      history_use(settings.history_use),
      history_file(settings.history_file) {}

bool LoadSocketInterface(std::string& error_text, SocketLibraryLoader load) {
  error_text.clear();
  if (load()) return true;
  error_text = "Error loading Socket interface (ws2_32.dll)!";
  return false;
}

TTCPHttpDaemon::TTCPHttpDaemon(const std::string& root_dir, const std::string& port,
                               HttpServiceEvents& events, const HttpSettings& settings,
                               const TServedTexts& texts, const TMFileList& resources)
    : state_(std::make_shared<State>(root_dir, port, events, settings, texts, resources)) {
  state_->self = state_;
  std::thread([state = state_] { state->Execute(); }).detach();
}

TTCPHttpDaemon::~TTCPHttpDaemon() { state_->stop = true; }

void TTCPHttpDaemon::State::Execute() {
  // The service loads the library at process start and fails its start without it; a
  // listener run on its own (tests, tools) loads it here, and a failure then shows as
  // "Winsock not initialized" below.
  std::string ignored;
  LoadSocketInterface(ignored);
  // A bad allow entry or listen address is in the core log already: the service's start
  // logs every problem of the configuration.
  uint32_t listen_address = 0;
  if (!settings.listen.empty() && !ParseIPv4(settings.listen, listen_address)) {
    // The server stays off; the collection still runs.
    events.LogStartMessage(true, "listen address " + settings.listen + " is not an IPv4 address", "disable");
    return;
  }
  TTCPBlockSocket sock;
  sock.SetLingerOption(true, 10);
  sock.Bind(settings.listen.empty() ? "0.0.0.0" : settings.listen, Port);
  if (sock.LastError() != 0) {
    events.LogErrorMessage("HTTP Server Error:\r\n" + sock.LastErrorText());
    return;
  }
  sock.Listen();
  if (sock.LastError() != 0) {
    events.LogErrorMessage("HTTP Server Error:\r\nSocket not binded - " + sock.LastErrorText());
    return;
  }
  const std::string local_port = std::to_string(sock.LocalPort());
  const std::string local_address = settings.listen.empty() ? platform::LocalHostAddress() : settings.listen;
  events.LogStartMessage(true, local_address, local_port);
  WriteCoreLog("Webserver starting on " + local_address + ":" + local_port);
  while (!stop) {
    error_log.Flush();
    WaitForRequests(sock.Handle());
  }
  // Accepted connections are answered all the same.
  for (Waiting& w : waiting) arrived.push_back(std::move(w.connection));
  waiting.clear();
  StartConnections(arrived);
  StopWorkers();
}

// A connection is counted from its accept, but given a worker only once its first bytes
// (or its close) arrive: a worker does not sleep per connection waiting for its client,
// and connections that never send cost no thread. The one wait covers the listening
// socket too, so new connections and requests wake the listener together.
void TTCPHttpDaemon::State::WaitForRequests(platform::SocketHandle listener) {
  std::vector<platform::SocketHandle> handles;
  handles.reserve(waiting.size() + 1);
  handles.push_back(listener);
  const uint32_t now = platform::TickCountMs();
  int timeout_ms = kAcceptWaitMs;
  for (const Waiting& w : waiting) {
    handles.push_back(w.connection.handle);
    const uint32_t waited = now - w.since_ms;
    const uint32_t left = waited >= static_cast<uint32_t>(settings.recv_timeout_ms)
                              ? 0 : static_cast<uint32_t>(settings.recv_timeout_ms) - waited;
    if (left < static_cast<uint32_t>(timeout_ms)) timeout_ms = static_cast<int>(left);
  }
  std::unique_ptr<bool[]> ready(new bool[handles.size()]);
  if (platform::WaitSocketsReadable(handles.data(), handles.size(), timeout_ms, ready.get()) != 0) {
    // Nothing is known ready: pause rather than spin on a failing wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::fill(ready.get(), ready.get() + handles.size(), false);
  }
  const uint32_t after = platform::TickCountMs();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    Waiting& w = waiting[i];
    if (ready[i + 1])
      arrived.push_back(std::move(w.connection));
    else if (after - w.since_ms >= static_cast<uint32_t>(settings.recv_timeout_ms))
      TimeOut(w.connection);
    else if (kept++ != i)
      waiting[kept - 1] = std::move(w);
  }
  waiting.resize(kept);
  StartConnections(arrived);
  if (!ready[0]) return;
  // Every connection already waiting is taken before the next wait; the listening
  // socket does not block, so the first "would block" ends the round.
  for (int taken = 0; taken < kAcceptRound && !stop; ++taken) {
    Pending accepted;
    if (platform::AcceptSocket(listener, accepted.handle, accepted.peer) != 0) break;
    if (!limit.TryEnter(accepted.peer)) {
      Refuse(accepted.handle, accepted.peer);
      continue;
    }
    waiting.push_back({std::move(accepted), after});
  }
}

// As a worker ends a connection whose request line never came.
void TTCPHttpDaemon::State::TimeOut(const Pending& connection) {
  RequestResult result;
  result.error = RequestError::kRequestLine;
  result.socket_error = platform::kSockTimedOut;
  result.detail = SocketErrorText(platform::kSockTimedOut);
  error_log.Write(SockErrorLine(result));
  limit.Leave(connection.peer);
  platform::CloseSocket(connection.handle);
}

void TTCPHttpDaemon::State::StartConnections(std::vector<Pending>& ready) {
  if (ready.empty()) return;
  // All queued under one lock before any worker is woken: a woken worker may take the
  // listener's core, and the others need not wait for the listener to come back.
  std::size_t wake = 0, start = 0;
  {
    std::lock_guard<std::mutex> guard(pool_lock);
    for (Pending& connection : ready) {
      queue.push_back(std::move(connection));
      if (--idle >= 0) {
        ++wake;
      } else if (workers < settings.max_connections) {
        ++workers;
        ++idle;  // the new worker starts out waiting
        ++start;
      }
    }
  }
  ready.clear();
  for (std::size_t i = 0; i < wake; ++i) pool_wake.notify_one();
  std::shared_ptr<State> keep = self.lock();
  for (std::size_t i = 0; i < start; ++i) {
    if (platform::StartDetachedThread([keep] { keep->Work(); }, kConnectionStack)) continue;
    // No thread for one: the newest connection still queued is refused as before,
    // unless running workers took them all meanwhile.
    Pending refused;
    {
      std::lock_guard<std::mutex> guard(pool_lock);
      --workers;
      --idle;
      if (queue.empty()) continue;
      refused = std::move(queue.back());
      queue.pop_back();
      ++idle;
    }
    limit.Leave(refused.peer);
    Refuse(refused.handle, refused.peer);
  }
}

void TTCPHttpDaemon::State::Serve(const Pending& connection) {
  TTCPHttpThrd thread(connection.handle, connection.peer, context);
  thread.Execute();
  // The answer is complete; only the close remains. Counted until the client can see
  // the end of the answer, a client's next request could find its own finished
  // connections still counted on a busy machine and get a 503.
  limit.Leave(connection.peer);
  const platform::SocketHandle rest = thread.ShutdownAndRelease();
  if (rest == platform::kNoSocket) return;
  // A client that sends nothing more needs no pause; otherwise the pause before the
  // close is waited out by the closer, and the worker is free now.
  if (thread.ClientSendsNothingMore())
    DiscardInputAndClose(rest);
  else
    closer.Close(rest);
}

void TTCPHttpDaemon::State::Work() {
  std::unique_lock<std::mutex> guard(pool_lock);
  for (;;) {
    pool_wake.wait_for(guard, kWorkerIdle, [this] { return !queue.empty() || workers_stop; });
    if (queue.empty()) {
      --idle;
      --workers;
      return;
    }
    Pending connection = std::move(queue.front());
    queue.pop_front();
    guard.unlock();
    try {
      Serve(connection);
    } catch (...) {
      // A failure around a connection ends that connection only, not the worker.
    }
    guard.lock();
    ++idle;
  }
}

void TTCPHttpDaemon::State::StopWorkers() {
  {
    std::lock_guard<std::mutex> guard(pool_lock);
    workers_stop = true;
  }
  pool_wake.notify_all();
}

void TTCPHttpDaemon::State::Refuse(platform::SocketHandle handle, const std::string& peer) {
  // Answered on the listener thread without waiting: the page fits the socket buffer
  // of a fresh connection, and what does not fit is dropped.
  {
    TBlockSocket sock(handle);
    sock.SetClosePause(0);  // the listener must not slow down under a flood
    const std::string page = ErrorPageText(503);
    sock.SendNoWait(ResponseHead(503, ErrorPageHeaders(page.size(), HttpDateNow())) + page);
  }
  // At most one line a second, so a flood cannot grow the core log without bound.
  const uint32_t now = platform::TickCountMs();
  {
    std::lock_guard<std::mutex> guard(refusal_lock);
    if (refusal_logged && now - last_refusal_log_ms < 1000) return;
    refusal_logged = true;
    last_refusal_log_ms = now;
  }
  error_log.Write("SOCK.ERROR too many connections, 503 sent to " + peer);
}

}  // namespace kv

#pragma once
// TTCPHttpThrd: one accepted connection. It reads one request (ReadRequest), routes the
// target to a response (main page, drive page, raw text, state report, support archive of
// controller 1 or of the controller whose "/cN/" folder is asked for; the drive history
// download; embedded file, file from the program folder, redirect, error page), writes it
// and closes the connection.
// Reading failures end the connection without a response and with one "SOCK.ERROR ..."
// core-log line.
//
// The object lives on its connection thread and is used by that thread only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_export.h"
#include "http/block_socket.h"
#include "http/client_allow_list.h"
#include "http/http_request.h"

namespace kv {

class CoreLogThrottle;
class HttpServiceEvents;
class TMFileList;
class TServedTexts;

// What the listener hands to every connection.
struct HttpConnectionContext {
  std::string root_dir;  // program folder, ending in the path separator
  int recv_timeout_ms = 120000;
  HttpServiceEvents* events = nullptr;
  const TMFileList* resources = nullptr;  // the embedded files; none: only disk files are served
  CoreLogThrottle* error_log = nullptr;  // the listener's bound on "SOCK.ERROR" lines; none: unbounded
  const TClientAllowList* allow = nullptr;  // who may read; none: everyone
  const TServedTexts* texts = nullptr;      // the collection's texts; none: 503 for them
  std::string history_path;  // the drive history file; empty: the history is off
};

class TTCPHttpThrd {
 public:
  TTCPHttpThrd(platform::SocketHandle handle, const std::string& peer_address,
               const HttpConnectionContext& context);

  // Reads the request and answers it. Never throws.
  void Execute();
  // Answers a request already read: the client check, then the route. Never throws.
  void Answer(const HttpRequest& request);
  // Once answered: the socket with its sending direction shut down, for the rest of
  // the graceful close elsewhere (TBlockSocket::ShutdownAndRelease).
  platform::SocketHandle ShutdownAndRelease() { return Sock.ShutdownAndRelease(); }
  // The request said "Connection: close", had no body and was read to its last byte:
  // nothing more can arrive, so the close needs no pause for the client's last bytes.
  bool ClientSendsNothingMore() const { return ClientDone; }

 private:
  void ProcessRequest(const std::string& method, const std::string& target);
  void LogSockError(const std::string& line);
  bool IsStopRequest(const std::string& name) const;
  // Whether controller `n` (from a "/cN/" folder or a "cN" name) is one whose texts are
  // asked for: 1 always, others up to the count served; while nothing is served every
  // number up to kMaxControllers, for its texts to answer 503 like controller 1's.
  bool ControllerServed(int n) const;

  // The head and `body` in one send call.
  void SendResponseHead(int code, const std::vector<std::string>& headers,
                        std::string_view body = std::string_view());
  // The texts of controller `controller` (1-based).
  void SendPage(int controller);
  void SendDrivePage(int controller, const std::string& name);
  void SendPlainText(int controller, bool raw);
  // "metrics" or "state.json" of the root folder, with its own Content-Type.
  void SendMachineText(bool metrics);
  void SendSupportArchive(int controller);
  // /history.csv or /history.json: the rows of the target's query, sent as the store
  // reads them (http_history.cpp).
  void SendHistory(THistoryFormat format, const std::string& target);
  // 301 to `location`, without a body.
  void SendRedirect(const std::string& location);
  // `detail`: see ErrorPageText.
  void SendErrorPage(int code, const std::string& extra_header = std::string(),
                     const std::string& detail = std::string());

  void SendDiskFile(const std::string& local_name);
  void SendResourceFile(int index, const std::string& local_name);
  void SendAttachment(const std::string& content, const std::string& file_name);
  // Applies RangeSpec to `headers`; false when an error page was sent instead.
  bool ApplyRangeOrFail(int64_t size, std::vector<std::string>& headers, int64_t& start,
                        int64_t& end);
  bool IsInsideRoot(const std::string& local_name) const;

  TTCPBlockSocket Sock;
  std::string PeerAddress;
  HttpConnectionContext Context;
  int ResultCode = 200;
  bool ClientDone = false;
  std::string RangeSpec;
};

}  // namespace kv

#include "http/http_thread.h"

#include "base/core_log_writer.h"
#include "http/http_text.h"
#include "http/log_throttle.h"

namespace kv {

TTCPHttpThrd::TTCPHttpThrd(platform::SocketHandle handle, const std::string& peer_address,
                           const HttpConnectionContext& context)
    : Sock(handle), PeerAddress(peer_address), Context(context) {}

void TTCPHttpThrd::LogSockError(const std::string& line) {
  if (Context.error_log != nullptr)
    Context.error_log->Write(line);
  else
    WriteCoreLog(line);
}

void TTCPHttpThrd::Execute() {
  try {
    HttpRequest request;
    const RequestResult read = ReadRequest(Sock, request, Context.recv_timeout_ms);
    if (!read.ok()) return LogSockError(SockErrorLine(read));
    ClientDone = request.client_closes && request.body.empty() && Sock.LineBuffer.empty();
    Answer(request);
  } catch (...) {
    // An escaping failure ends this connection only.
  }
}

void TTCPHttpThrd::Answer(const HttpRequest& request) {
  try {
    RangeSpec = request.range_spec;
    // Checked after the request is read, so the client sees the page and not a reset.
    if (Context.allow != nullptr && !Context.allow->Allows(PeerAddress)) {
      LogSockError("SOCK.ERROR client " + PeerAddress + " not allowed, 403 sent");
      SendErrorPage(403);
      return;
    }
    ProcessRequest(request.method, request.target);
  } catch (...) {
    // An escaping failure ends this connection only.
  }
}

void TTCPHttpThrd::SendResponseHead(int code, const std::vector<std::string>& headers,
                                    std::string_view body) {
  // Head and body leave in one send call; the bytes on the wire are the same as line by line.
  Sock.SendParts({ResponseHead(code, headers), body});
}

}  // namespace kv

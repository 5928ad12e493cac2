#include "http/http_thread.h"

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "http/http_text.h"
#include "http/log_throttle.h"
#include "http/request_path.h"

namespace kv {
namespace {

// Takes the text before the first space off the front of `rest`, both trimmed.
std::string TakeField(std::string& rest) {
  std::size_t space = rest.find(' ');
  std::string field = TrimBlanks(rest.substr(0, space));
  rest = space == std::string::npos ? std::string() : TrimBlanks(rest.substr(space + 1));
  return field;
}

// "Content-Length: 1234" -> 1234; -1 without a space or a number after it.
long long NumberAfterFirstSpace(const std::string& line) {
  std::size_t space = line.find(' ');
  if (space == std::string::npos) return -1;
  std::string text = TrimBlanks(line.substr(space + 1));
  bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.erase(0, 1);
  if (text.empty() || text.size() > 10) return -1;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  if (value > 0x7fffffff) return -1;  // not a 32-bit number
  return negative ? -value : value;
}

}  // namespace

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
    const int timeout = Context.recv_timeout_ms;
    RangeSpec.clear();
    std::string line = Sock.RecvString(timeout, kMaxRequestLine);
    if (Sock.LastError() != 0) {
      LogSockError("SOCK.ERROR read request line = " + Sock.LastErrorText());
      return;
    }
    if (line.empty()) {
      LogSockError("SOCK.ERROR sock.RecvString is null");
      return;
    }
    // GET /hdd_0_1?x=1 HTTP/1.1
    std::string rest = line;
    const std::string method = TakeField(rest);
    if (method.empty() || rest.empty()) {
      LogSockError("SOCK.ERROR method is null");
      return;
    }
    const std::string target = TakeField(rest);
    if (target.empty()) {
      LogSockError("SOCK.ERROR uri is null");
      return;
    }
    const std::string protocol = TakeField(rest);
    Headers.clear();
    long long body_size = -1;
    if (!protocol.empty()) {
      if (protocol.compare(0, 5, "HTTP/") != 0) {
        LogSockError("SOCK.ERROR protocol is not HTTP [" + protocol + "]");
        return;
      }
      for (;;) {
        std::string header = Sock.RecvString(timeout, kMaxRequestLine);
        if (Sock.LastError() != 0) {
          LogSockError("SOCK.ERROR sock.RecvString = " + Sock.LastErrorText());
          return;
        }
        if (header.empty()) break;
        if (static_cast<int>(Headers.size()) >= kMaxHeaderLines) {
          LogSockError("SOCK.ERROR too many header lines");
          return;
        }
        // Content-Length: 12        Range: bytes=0-99
        const std::string upper = UpperCaseAscii(header.substr(0, 15));
        if (upper.compare(0, 15, "CONTENT-LENGTH:") == 0) body_size = NumberAfterFirstSpace(header);
        if (upper.compare(0, 6, "RANGE:") == 0) {
          std::size_t space = header.find(' ');
          RangeSpec = space == std::string::npos ? header : header.substr(space + 1);
        }
        Headers.push_back(std::move(header));
      }
    }
    InputData.clear();
    if (body_size > kMaxRequestBody) {
      LogSockError("SOCK.ERROR InputData = " + SocketErrorText(platform::kSockMessageTooLong));
      return;
    }
    if (body_size >= 0) {
      Sock.RecvBlock(InputData, body_size, timeout);
      if (Sock.LastError() != 0) {
        LogSockError("SOCK.ERROR InputData = " + Sock.LastErrorText());
        return;
      }
    }
    // Checked after the request is read, so the client sees the page and not a reset.
    if (Context.allow != nullptr && !Context.allow->Allows(PeerAddress)) {
      LogSockError("SOCK.ERROR client " + PeerAddress + " not allowed, 403 sent");
      SendErrorPage(403);
      return;
    }
    ProcessRequest(method, target);
  } catch (...) {
    // An escaping failure ends this connection only.
  }
}

void TTCPHttpThrd::SendResponseHead(int code, const std::string& body) {
  // Head and body leave in one send; the bytes on the wire are the same as line by line.
  Sock.SendText(ResponseHead(code, Headers) + body);
}

}  // namespace kv

#include "http/http_request.h"

#include "base/text_case.h"
#include "http/block_socket.h"
#include "http/request_path.h"

namespace kv {
namespace {

struct ErrorLineRow {
  RequestError error;
  const char* before;  // the line is before + detail + after
  const char* after;
};

constexpr ErrorLineRow kErrorLines[] = {
    {RequestError::kRequestLine, "SOCK.ERROR read request line = ", ""},
    {RequestError::kEmptyRequestLine, "SOCK.ERROR sock.RecvString is null", ""},
    {RequestError::kNoMethod, "SOCK.ERROR method is null", ""},
    {RequestError::kNoTarget, "SOCK.ERROR uri is null", ""},
    {RequestError::kNotHttp, "SOCK.ERROR protocol is not HTTP [", "]"},
    {RequestError::kHeaderLine, "SOCK.ERROR sock.RecvString = ", ""},
    {RequestError::kTooManyHeaders, "SOCK.ERROR too many header lines", ""},
    {RequestError::kBodyTooLarge, "SOCK.ERROR InputData = ", ""},
    {RequestError::kBody, "SOCK.ERROR InputData = ", ""},
};

RequestResult Failed(RequestError error, const std::string& detail = std::string()) {
  return {error, 0, detail};
}

RequestResult SocketFailed(RequestError error, int socket_error) {
  return {error, socket_error, SocketErrorText(socket_error)};
}

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

RequestResult ReadRequest(LineSource& source, HttpRequest& request, int timeout_ms) {
  request = HttpRequest();
  std::string line = source.RecvString(timeout_ms, kMaxRequestLine);
  if (source.LastError() != 0) return SocketFailed(RequestError::kRequestLine, source.LastError());
  if (line.empty()) return Failed(RequestError::kEmptyRequestLine);
  // GET /hdd_0_1?x=1 HTTP/1.1
  std::string rest = line;
  request.method = TakeField(rest);
  if (request.method.empty() || rest.empty()) return Failed(RequestError::kNoMethod);
  request.target = TakeField(rest);
  if (request.target.empty()) return Failed(RequestError::kNoTarget);
  request.protocol = TakeField(rest);
  long long body_size = -1;
  if (!request.protocol.empty()) {
    if (request.protocol.compare(0, 5, "HTTP/") != 0)
      return Failed(RequestError::kNotHttp, request.protocol);
    for (;;) {
      std::string header = source.RecvString(timeout_ms, kMaxRequestLine);
      if (source.LastError() != 0) return SocketFailed(RequestError::kHeaderLine, source.LastError());
      if (header.empty()) break;
      if (static_cast<int>(request.headers.size()) >= kMaxHeaderLines)
        return Failed(RequestError::kTooManyHeaders);
      // Content-Length: 12        Range: bytes=0-99
      const std::string upper = UpperCaseAscii(header.substr(0, 15));
      if (upper.compare(0, 15, "CONTENT-LENGTH:") == 0) body_size = NumberAfterFirstSpace(header);
      if (upper.compare(0, 6, "RANGE:") == 0) {
        std::size_t space = header.find(' ');
        request.range_spec = space == std::string::npos ? header : header.substr(space + 1);
      }
      if (upper.compare(0, 11, "CONNECTION:") == 0)
        request.client_closes = UpperCaseAscii(TrimBlanks(header.substr(11))) == "CLOSE";
      request.headers.push_back(std::move(header));
    }
  }
  if (body_size > kMaxRequestBody)
    return SocketFailed(RequestError::kBodyTooLarge, platform::kSockMessageTooLong);
  if (body_size >= 0) {
    source.RecvBlock(request.body, body_size, timeout_ms);
    if (source.LastError() != 0) return SocketFailed(RequestError::kBody, source.LastError());
  }
  return {};
}

std::string SockErrorLine(const RequestResult& result) {
  for (const ErrorLineRow& row : kErrorLines)
    if (row.error == result.error) return row.before + result.detail + row.after;
  return {};
}

}  // namespace kv

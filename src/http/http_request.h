#pragma once
// ReadRequest: one HTTP request (request line, header lines, body) read from a LineSource,
// and the "SOCK.ERROR ..." core-log line of each way reading can fail.
//
//   GET /hdd_0_1?x=1 HTTP/1.1        method, target, protocol; two fields: no header lines
//   Content-Length: 12               body size (the last such line counts)
//   Range: bytes=0-99                the range asked for (the last such line counts)
//   Connection: close                the client sends nothing after this request
//
// Any failure ends the request: the caller answers nothing and writes SockErrorLine.
// Pure over its source; callable from any thread.
#include <cstddef>
#include <string>
#include <vector>

#include "http/line_source.h"

namespace kv {

// Limits of a request; going over one ends the connection like a read failure.
inline constexpr std::size_t kMaxRequestLine = 8192;
inline constexpr int kMaxHeaderLines = 100;
inline constexpr long long kMaxRequestBody = 1 << 20;

struct HttpRequest {
  std::string method;
  std::string target;
  std::string protocol;  // empty for a request line of two fields
  std::vector<std::string> headers;
  std::string range_spec;  // text after the Range line's first space; empty without one
  std::string body;        // read and never used
  // A "Connection: close" line: the client sends nothing more on this connection.
  bool client_closes = false;

  bool operator==(const HttpRequest&) const = default;
};

enum class RequestError {
  kNone,
  kRequestLine,       // the request line could not be read
  kEmptyRequestLine,
  kNoMethod,          // one word, or a leading space
  kNoTarget,
  kNotHttp,           // the protocol field does not start with "HTTP/"
  kHeaderLine,        // a header line could not be read
  kTooManyHeaders,
  kBodyTooLarge,      // the declared body is over kMaxRequestBody
  kBody,              // the body could not be read
};

struct RequestResult {
  RequestError error = RequestError::kNone;
  int socket_error = 0;  // Windows Sockets number behind a read failure
  std::string detail;    // its text, or the protocol field that is not HTTP

  bool ok() const { return error == RequestError::kNone; }
  bool operator==(const RequestResult&) const = default;
};

RequestResult ReadRequest(LineSource& source, HttpRequest& request, int timeout_ms);

// The core-log line of a failed read: "SOCK.ERROR read request line = Connection timed out",
// "SOCK.ERROR protocol is not HTTP [FTP/1.0]", ...; empty for kNone.
std::string SockErrorLine(const RequestResult& result);

}  // namespace kv

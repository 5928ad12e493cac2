#pragma once
// One HTTP or HTTPS POST through the system's own client library: libcurl on Linux,
// WinHTTP on Windows. The notifications' webhook is its only user.
//
// Certificates are always verified, with no way to turn that off. With `ca_file` set, the
// server's chain must end at one of the certificates in that PEM file and no other (a
// private receiver); without it, at the system's trusted roots. Redirects are not
// followed: a 3xx is the receiver's answer like any other.
//
// The whole exchange, connecting included, ends after `timeout_seconds`. `cancel` (may be
// null) ends it at once from another thread. Blocking; any thread but the main loop's.
#include <string>

#include "platform/process.h"

namespace kv::platform {

struct HttpPostRequest {
  std::string url;           // "http://..." or "https://..."
  std::string content_type;  // "application/json; charset=utf-8"
  std::string body;
  std::string extra_header;  // one "Name: value" line, or empty
  std::string ca_file;       // a PEM bundle, or empty for the system's roots
  int timeout_seconds = 10;
  ConsoleProcessCancel* cancel = nullptr;
};

struct HttpPostResult {
  bool answered = false;  // a response came: `status` holds its code
  int status = 0;
  std::string error;      // why there is no response: "connection refused", "timed out",
                          // "certificate not trusted", ...; empty when answered
  double seconds = 0;     // how long it took
};

HttpPostResult HttpPost(const HttpPostRequest& request);

}  // namespace kv::platform

#pragma once
// The checks both HTTP clients make before any network access, so that both builds refuse
// the same requests with the same words. Internal to the platform layer.
#include <cctype>
#include <string>
#include <string_view>

#include "platform/http_client.h"

namespace kv::platform {

inline bool HttpStartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// Control bytes would end a header line early and start one of the sender's choosing.
inline bool HttpHasControlBytes(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

// Why the request cannot go out: "bad address", "bad header"; empty when it can.
inline std::string HttpPostRequestProblem(const HttpPostRequest& request) {
  const std::string_view url = request.url;
  const bool http = HttpStartsWithNoCase(url, "http://") || HttpStartsWithNoCase(url, "https://");
  if (!http || url.find(' ') != std::string_view::npos || HttpHasControlBytes(url)) return "bad address";
  if (HttpHasControlBytes(request.content_type) || HttpHasControlBytes(request.extra_header)) return "bad header";
  if (!request.extra_header.empty() && request.extra_header.find(':') == std::string::npos) return "bad header";
  return std::string();
}

inline bool HttpIsSecure(std::string_view url) { return HttpStartsWithNoCase(url, "https://"); }

}  // namespace kv::platform

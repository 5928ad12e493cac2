#pragma once
// Fixed texts of the HTTP responses: status texts, the date format of the Date and
// Last-Modified headers, the header sets of each response kind and the error page.
// Pure functions, callable from any thread.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace kv {

inline constexpr char kServerHeader[] = "Server: HA-HA-HA HTTP server :)";

// "404 Not Found"; codes outside 100..999 count as 500, unknown ones read "Unknown".
std::string StatusText(int code);

// "Tue, 8 Dec 2026 07:27:00 +0300" for a local time and the zone bias in force
// (minutes to add to local time to get UTC, so east of UTC is negative).
std::string FormatHttpDate(const platform::LocalDateTime& local, int zone_bias_minutes);
// The current local time.
std::string HttpDateNow();
// A moment given as UTC Unix seconds, shown in local time with the bias in force now.
std::string HttpDateOfUtc(int64_t utc_seconds);

// Broken-down date of Unix-style seconds (no zone applied).
platform::LocalDateTime DateTimeOfSeconds(int64_t seconds);

enum class PageKind { kHtml, kPlainText };

// Header lines of each response kind, in the order they are sent.
std::vector<std::string> PageHeaders(std::size_t size, const std::string& date, PageKind kind);
std::vector<std::string> ErrorPageHeaders(std::size_t size, const std::string& date);
// A redirect's: the page head with "Location: <location>".
std::vector<std::string> RedirectHeaders(std::size_t size, const std::string& date, const std::string& location);
std::vector<std::string> FileHeaders(int64_t size, const std::string& last_modified,
                                     const std::string& mime_type);
std::vector<std::string> AttachmentHeaders(int64_t size, const std::string& date,
                                           const std::string& mime_type,
                                           const std::string& file_name);
// An answer of unknown length, written as it is read: no Content-length, it ends when the
// connection closes. With a `file_name`, a download under that name.
std::vector<std::string> StreamHeaders(const std::string& date, const std::string& content_type,
                                       const std::string& file_name);

// The error page body; every line ends with CR LF. `detail`, HTML of this program's own
// (never a client's text), is one more row that says what is wrong.
std::string ErrorPageText(int code, const std::string& detail = std::string());

// "HTTP/1.0 200" CR LF, each header line CR LF, then the blank line.
std::string ResponseHead(int code, const std::vector<std::string>& headers);

}  // namespace kv

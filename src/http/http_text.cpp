#include "http/http_text.h"

#include <cstdio>

namespace kv {
namespace {

struct StatusRow {
  int code;
  const char* text;
};

constexpr StatusRow kStatusTexts[] = {
    {100, "Continue"}, {101, "Switching Protocols"}, {200, "Ok"}, {201, "Created"},
    {202, "Accepted"}, {203, "Non-Authoritive Information"}, {204, "No Content"},
    {205, "Reset Content"}, {206, "Partial Content"}, {300, "Multiple Choices"},
    {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other Method"},
    {304, "Not Modified"}, {305, "Use Proxy"}, {307, "Temporary Redirect"},
    {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment required"},
    {403, "Forbidden"}, {404, "Not Found"}, {405, "Method Not Allowed"},
    {406, "Not Acceptable"}, {407, "Proxy Authentication Required"},
    {408, "Request Timeout"}, {409, "Conflict"}, {410, "Gone"}, {411, "Length Required"},
    {412, "Precondition Failed"}, {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"}, {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"}, {417, "Expectation Failed"},
    {500, "Internal Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"},
    {503, "Service Unavailable"}, {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
};

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::vector<std::string> CommonPageHead(std::size_t size, const std::string& date) {
  return {"Content-length: " + std::to_string(size), "Connection: close", "Date: " + date,
          kServerHeader};
}

}  // namespace

std::string StatusText(int code) {
  if (code < 100 || code > 999) code = 500;
  for (const StatusRow& row : kStatusTexts)
    if (row.code == code) return std::to_string(code) + " " + row.text;
  return std::to_string(code) + " Unknown";
}

std::string FormatHttpDate(const platform::LocalDateTime& t, int zone_bias_minutes) {
  int offset = -zone_bias_minutes;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  const char* day = kDayNames[(t.day_of_week % 7 + 7) % 7];
  const char* month = kMonthNames[t.month >= 1 && t.month <= 12 ? t.month - 1 : 0];
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", day, t.day, month,
                t.year, t.hour, t.minute, t.second, sign, offset / 60 % 100, offset % 60);
  return text;
}

platform::LocalDateTime DateTimeOfSeconds(int64_t seconds) {
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - days * 86400;
  platform::LocalDateTime t;
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  t.day_of_week = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  return t;
}

std::string HttpDateNow() {
  return FormatHttpDate(platform::LocalNow(), platform::ZoneBiasMinutes());
}

std::string HttpDateOfUtc(int64_t utc_seconds) {
  int bias = platform::ZoneBiasMinutes();
  return FormatHttpDate(DateTimeOfSeconds(utc_seconds - int64_t{bias} * 60), bias);
}

std::vector<std::string> PageHeaders(std::size_t size, const std::string& date, PageKind kind) {
  std::vector<std::string> lines = CommonPageHead(size, date);
  lines.push_back("Cache-Control: no-store, no-cache, must-revalidate");
  lines.push_back("Pragma: no-cache");
  lines.push_back(kind == PageKind::kHtml ? "Content-Type: text/html; charset=windows-1251"
                                          : "Content-Type: text/plain; charset=windows-1251");
  return lines;
}

std::vector<std::string> ErrorPageHeaders(std::size_t size, const std::string& date) {
  std::vector<std::string> lines = CommonPageHead(size, date);
  lines.push_back("Content-Type: text/html; charset=windows-1251");
  return lines;
}

std::vector<std::string> RedirectHeaders(std::size_t size, const std::string& date, const std::string& location) {
  std::vector<std::string> lines = CommonPageHead(size, date);
  lines.push_back("Location: " + location);
  return lines;
}

std::vector<std::string> FileHeaders(int64_t size, const std::string& last_modified,
                                     const std::string& mime_type) {
  return {"Content-length: " + std::to_string(size), "Last-Modified: " + last_modified,
          "Content-Type: " + (mime_type.empty() ? std::string("application/octet-stream") : mime_type),
          "Accept-Ranges: bytes", kServerHeader};
}

std::vector<std::string> AttachmentHeaders(int64_t size, const std::string& date,
                                           const std::string& mime_type,
                                           const std::string& file_name) {
  std::string type = mime_type.empty() ? std::string("application/octet-stream") : mime_type;
  return {"Content-length: " + std::to_string(size),
          "Last-Modified: " + date,
          "Content-Type: " + type + "; name=" + file_name,
          "Content-Disposition: attachment; filename=" + file_name,
          "Accept-Ranges: bytes",
          kServerHeader,
          "Cache-Control: no-cache, must-revalidate",
          "Pragma: no-cache"};
}

std::vector<std::string> StreamHeaders(const std::string& date, const std::string& content_type,
                                       const std::string& file_name) {
  std::vector<std::string> lines = {"Connection: close", "Date: " + date, kServerHeader,
                                    "Cache-Control: no-store, no-cache, must-revalidate", "Pragma: no-cache",
                                    "Content-Type: " + content_type};
  if (!file_name.empty()) lines.push_back("Content-Disposition: attachment; filename=" + file_name);
  return lines;
}

std::string ErrorPageText(int code, const std::string& detail) {
  const std::string code_text = std::to_string(code);
  const std::string status = StatusText(code);
  std::string page;
  auto line = [&page](const std::string& text) { page += text + "\r\n"; };
  line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
  line("<HTML><HEAD><TITLE>" + code_text + " - " + status + "</TITLE>");
  line("<META http-equiv=\"content-type\" content=\"text/html; charset=windows-1251\">");
  line("<LINK rel=\"icon\" href=\"favicon.ico\" type=\"image/x-icon\">");
  line("<LINK rel=\"shortcut icon\" href=\"favicon.ico\" type=\"image/x-icon\">");
  line("<style type=\"text/css\">");
  line("BODY {MARGIN: 0px; BACKGROUND-COLOR: #FFFFFF;  font-family: Verdana,Helvetica; "
       "font-size: 11px; color: #000000; font-weight: normal; text-decoration: none}");
  line(".BAR {BORDER: #C5C5C5 1px solid;}");
  line(".BCI {CURSOR: default; PADDING-LEFT: 4px; PADDING-BOTTOM: 4px; PADDING-TOP: 4px; "
       "PADDING-RIGHT: 4px;}");
  line(".BCIC {CURSOR: default; PADDING-LEFT: 6px; PADDING-BOTTOM: 6px; PADDING-TOP: 6px; "
       "PADDING-RIGHT: 6px;}");
  line(".BTC {CURSOR: default; FONT-SIZE: 11px; COLOR: #1D1D1D; FONT-FAMILY: Verdana,Tahoma;}");
  line(".BBI {BACKGROUND-COLOR: #F9F9F9;}");
  line("</style></head><BODY>");
  line("<TABLE cellSpacing=\"0\" cellPadding=\"0\" width=\"100%\" height=\"100%\" border=\"0\">"
       "<TBODY><TR vAlign=\"center\"><TD align=\"center\"><TABLE cellSpacing=\"0\" "
       "cellPadding=\"0\" border=\"0\" width=\"333px\" class=\"BAR\">");
  line("<TBODY><TR><TD align=\"left\" colspan=\"2\" class=\"BCI BTC\" style=\"BACKGROUND-COLOR: "
       "#e1e1e1;\"><b>Error</b></TD></TR><TR><TD colspan=\"2\" class=\"BCIC BBI BTC\">Response: " +
       status +
       "</TD></TR><TR><TD colspan=\"2\" class=\"BCIC BBI BTC\">Error code: <b><span "
       "style=\"COLOR: #AE1717;\">" +
       code_text + "</span></b></TD></TR>" +
       (detail.empty() ? std::string() : "<TR><TD colspan=\"2\" class=\"BCIC BBI BTC\">" + detail + "</TD></TR>"));
  line("</TBODY></TABLE></TD></TR></TBODY></TABLE></BODY></HTML>");
  return page;
}

std::string ResponseHead(int code, const std::vector<std::string>& headers) {
  std::string head = "HTTP/1.0 " + std::to_string(code) + "\r\n";
  for (const std::string& line : headers) head += line + "\r\n";
  head += "\r\n";
  return head;
}

}  // namespace kv

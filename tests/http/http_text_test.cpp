#include <gtest/gtest.h>

#include "http/client_allow_list.h"
#include "http/http_text.h"

namespace kv {
namespace {

platform::LocalDateTime At(int y, int mo, int d, int h, int mi, int s, int dow) {
  platform::LocalDateTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  t.day_of_week = dow;
  return t;
}

TEST(HttpDate, FormatsLocalTimeWithTheZoneOffset) {
  struct Row {
    platform::LocalDateTime local;
    int bias;
    const char* expected;
  } rows[] = {
      {At(2026, 12, 8, 7, 27, 0, 2), -180, "Tue, 8 Dec 2026 07:27:00 +0300"},     // Moscow
      {At(2026, 7, 15, 14, 5, 9, 3), -120, "Wed, 15 Jul 2026 14:05:09 +0200"},    // Berlin, summer time
      {At(2026, 1, 31, 23, 59, 59, 6), 300, "Sat, 31 Jan 2026 23:59:59 -0500"},   // New York, winter
      {At(2024, 2, 29, 0, 0, 0, 4), 0, "Thu, 29 Feb 2024 00:00:00 +0000"},        // UTC
      {At(2026, 3, 1, 9, 3, 4, 0), -330, "Sun, 1 Mar 2026 09:03:04 +0530"},       // India, half hour
      {At(2026, 10, 4, 2, 0, 0, 0), 570, "Sun, 4 Oct 2026 02:00:00 -0930"},       // Marquesas
  };
  for (const Row& r : rows) EXPECT_EQ(FormatHttpDate(r.local, r.bias), r.expected);
}

TEST(HttpDate, BreaksDownSecondsIncludingLeapDaysAndWeekdays) {
  EXPECT_EQ(FormatHttpDate(DateTimeOfSeconds(0), 0), "Thu, 1 Jan 1970 00:00:00 +0000");
  EXPECT_EQ(FormatHttpDate(DateTimeOfSeconds(1709164800), 0), "Thu, 29 Feb 2024 00:00:00 +0000");
  EXPECT_EQ(FormatHttpDate(DateTimeOfSeconds(1796714820), -180), "Tue, 8 Dec 2026 07:27:00 +0300");
  EXPECT_EQ(FormatHttpDate(DateTimeOfSeconds(-1), 0), "Wed, 31 Dec 1969 23:59:59 +0000");
}

TEST(StatusText, KnownUnknownAndOutOfRangeCodes) {
  struct Row {
    int code;
    const char* text;
  } rows[] = {
      {200, "200 Ok"}, {203, "203 Non-Authoritive Information"}, {206, "206 Partial Content"},
      {303, "303 See Other Method"}, {402, "402 Payment required"}, {404, "404 Not Found"},
      {416, "416 Requested Range Not Satisfiable"}, {501, "501 Not Implemented"},
      {503, "503 Service Unavailable"}, {505, "505 HTTP Version Not Supported"},
      {306, "306 Unknown"}, {999, "999 Unknown"}, {100, "100 Continue"},
      {99, "500 Internal Error"}, {1000, "500 Internal Error"}, {-404, "500 Internal Error"},
  };
  for (const Row& r : rows) EXPECT_EQ(StatusText(r.code), r.text) << r.code;
}

TEST(HeaderSets, EveryResponseKindByteForByte) {
  const std::string date = "Tue, 8 Dec 2026 07:27:00 +0300";
  EXPECT_EQ(ResponseHead(200, PageHeaders(1, date, PageKind::kHtml)),
            "HTTP/1.0 200\r\nContent-length: 1\r\nConnection: close\r\nDate: " + date +
                "\r\nServer: HA-HA-HA HTTP server :)\r\nCache-Control: no-store, no-cache, "
                "must-revalidate\r\nPragma: no-cache\r\nContent-Type: text/html; "
                "charset=windows-1251\r\n\r\n");
  EXPECT_EQ(PageHeaders(7, date, PageKind::kPlainText).back(),
            "Content-Type: text/plain; charset=windows-1251");
  EXPECT_EQ(ResponseHead(404, ErrorPageHeaders(12, date)),
            "HTTP/1.0 404\r\nContent-length: 12\r\nConnection: close\r\nDate: " + date +
                "\r\nServer: HA-HA-HA HTTP server :)\r\nContent-Type: text/html; "
                "charset=windows-1251\r\n\r\n");
  EXPECT_EQ(FileHeaders(1000, date, "image/png"),
            (std::vector<std::string>{"Content-length: 1000", "Last-Modified: " + date,
                                      "Content-Type: image/png", "Accept-Ranges: bytes",
                                      "Server: HA-HA-HA HTTP server :)"}));
  EXPECT_EQ(FileHeaders(5, date, "")[2], "Content-Type: application/octet-stream");
  EXPECT_EQ(AttachmentHeaders(321, date, "application/zip", "support_kvr.zip"),
            (std::vector<std::string>{"Content-length: 321", "Last-Modified: " + date,
                                      "Content-Type: application/zip; name=support_kvr.zip",
                                      "Content-Disposition: attachment; filename=support_kvr.zip",
                                      "Accept-Ranges: bytes", "Server: HA-HA-HA HTTP server :)",
                                      "Cache-Control: no-cache, must-revalidate",
                                      "Pragma: no-cache"}));
}

TEST(ErrorPage, NotFoundPageByteForByte) {
  const std::string page = ErrorPageText(404);
  const std::string expected =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
      "<HTML><HEAD><TITLE>404 - 404 Not Found</TITLE>\r\n"
      "<META http-equiv=\"content-type\" content=\"text/html; charset=windows-1251\">\r\n"
      "<LINK rel=\"icon\" href=\"favicon.ico\" type=\"image/x-icon\">\r\n"
      "<LINK rel=\"shortcut icon\" href=\"favicon.ico\" type=\"image/x-icon\">\r\n"
      "<style type=\"text/css\">\r\n"
      "BODY {MARGIN: 0px; BACKGROUND-COLOR: #FFFFFF;  font-family: Verdana,Helvetica; font-size: 11px; color: #000000; font-weight: normal; text-decoration: none}\r\n"
      ".BAR {BORDER: #C5C5C5 1px solid;}\r\n"
      ".BCI {CURSOR: default; PADDING-LEFT: 4px; PADDING-BOTTOM: 4px; PADDING-TOP: 4px; PADDING-RIGHT: 4px;}\r\n"
      ".BCIC {CURSOR: default; PADDING-LEFT: 6px; PADDING-BOTTOM: 6px; PADDING-TOP: 6px; PADDING-RIGHT: 6px;}\r\n"
      ".BTC {CURSOR: default; FONT-SIZE: 11px; COLOR: #1D1D1D; FONT-FAMILY: Verdana,Tahoma;}\r\n"
      ".BBI {BACKGROUND-COLOR: #F9F9F9;}\r\n"
      "</style></head><BODY>\r\n"
      "<TABLE cellSpacing=\"0\" cellPadding=\"0\" width=\"100%\" height=\"100%\" border=\"0\"><TBODY><TR vAlign=\"center\"><TD align=\"center\"><TABLE cellSpacing=\"0\" cellPadding=\"0\" border=\"0\" width=\"333px\" class=\"BAR\">\r\n"
      "<TBODY><TR><TD align=\"left\" colspan=\"2\" class=\"BCI BTC\" style=\"BACKGROUND-COLOR: #e1e1e1;\"><b>Error</b></TD></TR><TR><TD colspan=\"2\" class=\"BCIC BBI BTC\">Response: 404 Not Found</TD></TR><TR><TD colspan=\"2\" class=\"BCIC BBI BTC\">Error code: <b><span style=\"COLOR: #AE1717;\">404</span></b></TD></TR>\r\n"
      "</TBODY></TABLE></TD></TR></TBODY></TABLE></BODY></HTML>\r\n";
  EXPECT_EQ(page, expected);
  // Out of range: the code as given, the status of 500.
  EXPECT_NE(ErrorPageText(1234).find("<TITLE>1234 - 500 Internal Error</TITLE>"), std::string::npos);
}

// Who may read: addresses and CIDR ranges; one unreadable entry lets only this machine in.
TEST(ClientAllowList, AddressesRangesAndBadEntries) {
  const struct {
    const char* setting;
    const char* client;
    bool allowed;
  } rows[] = {
      {"", "203.0.113.9", true},
      {"   ", "203.0.113.9", true},
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.1", "127.0.0.2", false},
      {" 127.0.0.1 , 10.20.0.0/16 ", "10.20.255.1", true},
      {"10.20.0.0/16", "10.21.0.1", false},
      {"10.20.0.7/16", "10.20.9.9", true},  // host bits of the network are ignored
      {"0.0.0.0/0", "203.0.113.9", true},
      {"192.168.1.5/32", "192.168.1.5", true},
      {"192.168.1.5/32", "192.168.1.4", false},
      {"10.0.0.1,", "10.0.0.1", true},         // an empty entry is no entry
      {"10.0.0.1", "not an address", false},
      {"10.0.0.0/33, 10.0.0.1", "10.0.0.1", false},  // bad: fail closed
      {"10.0.0.0/33", "127.0.0.1", true},
      {"10.0.0.256", "10.0.0.1", false},
      {"10.0.0", "127.0.0.1", true},
      {"010.0.0.1x", "10.0.0.1", false},
      {"1.2.3.4/", "1.2.3.4", false},
      {"10.0.0.010", "10.0.0.10", false},  // octal to the resolver: refused
      {"10.0.0.0/8/8", "10.0.0.1", false},
      {"10.0.0.0 /8", "10.0.0.1", false},  // blanks around entries only
      {",,\t10.0.0.1\t,", "10.0.0.1", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(TClientAllowList(row.setting).Allows(row.client), row.allowed) << row.setting << " / " << row.client;
  EXPECT_EQ(TClientAllowList("10.0.0.1, 10.0.0.0/33").BadEntry(), "10.0.0.0/33");
  uint32_t address = 0;
  EXPECT_TRUE(ParseIPv4("255.255.255.255", address));
  EXPECT_EQ(address, 0xFFFFFFFFu);
  EXPECT_FALSE(ParseIPv4("1.2.3.4.5", address));
  EXPECT_FALSE(ParseIPv4("1..3.4", address));
}

}  // namespace
}  // namespace kv

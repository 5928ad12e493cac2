// Request reading from bytes in memory. Every row is read whole and then cut into packets
// in many ways (every single cut point, one byte a packet, and cuts from a fixed seed):
// a client may split its request anywhere, and the outcome must not change.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "http/http_request.h"

namespace kv {
namespace {

constexpr std::size_t kEveryCutUpTo = 4096;  // longer inputs get seeded cut points

struct Reading {
  RequestResult result;
  HttpRequest request;
};

Reading Read(const std::string& bytes, const std::vector<std::size_t>& cuts, int end_error) {
  TMemoryLineSource source(bytes, cuts, end_error);
  Reading r;
  r.result = ReadRequest(source, r.request, 1000);
  return r;
}

std::vector<std::vector<std::size_t>> CutSets(std::size_t size) {
  std::vector<std::vector<std::size_t>> sets;
  if (size < 2) return sets;
  std::vector<std::size_t> every_byte;
  for (std::size_t at = 1; at < size; ++at) every_byte.push_back(at);
  sets.push_back(std::move(every_byte));
  std::mt19937 random(20261209);  // fixed, so that a failure repeats
  if (size <= kEveryCutUpTo) {
    for (std::size_t at = 1; at < size; ++at) sets.push_back({at});
  } else {
    for (int i = 0; i < 200; ++i) sets.push_back({1 + random() % (size - 1)});
  }
  for (int i = 0; i < 50; ++i) {  // several cuts, such as a CR LF split from both sides
    std::vector<std::size_t> cuts(2 + random() % 6);
    for (std::size_t& at : cuts) at = 1 + random() % (size - 1);
    std::sort(cuts.begin(), cuts.end());
    sets.push_back(std::move(cuts));
  }
  return sets;
}

std::string HeaderLines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "X-" + std::to_string(i) + ": v\r\n";
  return lines;
}

TEST(ReadRequest, ReadsTheSameWhereverTheBytesAreCut) {
  const int kReset = platform::kSockConnReset;
  struct Row {
    std::string name, bytes;
    std::string log_line;  // "" = read
    std::string method, target, range, body;
    int end_error = platform::kSockTimedOut;  // after the bytes: the client waits, or closed
    bool closes = false;                      // "Connection: close" seen
  } rows[] = {
      {"HTTP/1.1 request", "GET / HTTP/1.1\r\n\r\n", "", "GET", "/"},
      {"two fields read no headers", "GET /raw\r\nHost: x\r\n", "", "GET", "/raw"},
      {"HEAD read like GET", "HEAD /ini HTTP/1.0\r\n\r\n", "", "HEAD", "/ini"},
      {"text after the protocol ignored", "GET /a?b=1 HTTP/1.0 extra\r\n\r\n", "", "GET", "/a?b=1"},
      {"one word", "GET\r\n", "SOCK.ERROR method is null"},
      {"leading space", " GET / HTTP/1.0\r\n\r\n", "SOCK.ERROR method is null"},
      {"empty line", "\r\n", "SOCK.ERROR sock.RecvString is null"},
      {"not HTTP", "GET / FTP/1.0\r\n\r\n", "SOCK.ERROR protocol is not HTTP [FTP/1.0]"},
      {"lower-case protocol", "GET / http/1.0\r\n\r\n", "SOCK.ERROR protocol is not HTTP [http/1.0]"},
      {"a lone LF ends no line", "GET / HTTP/1.0\nHost: x\n\n",
       "SOCK.ERROR read request line = Connection timed out"},
      {"silence", "", "SOCK.ERROR read request line = Connection timed out"},
      {"closed inside the request line", "GET / HT", "SOCK.ERROR read request line = Connection reset by peer",
       "", "", "", "", kReset},
      {"headers never end", "GET / HTTP/1.0\r\nHost: x\r\n", "SOCK.ERROR sock.RecvString = Connection timed out"},
      {"request line of exactly 8 KiB",
       "GET /" + std::string(kMaxRequestLine - 14, 'a') + " HTTP/1.0\r\n\r\n", "", "GET",
       "/" + std::string(kMaxRequestLine - 14, 'a')},
      {"request line over 8 KiB", "GET /" + std::string(kMaxRequestLine, 'a') + " HTTP/1.0\r\n\r\n",
       "SOCK.ERROR read request line = Message too long"},
      {"header line over 8 KiB", "GET / HTTP/1.0\r\nX: " + std::string(kMaxRequestLine, 'h') + "\r\n\r\n",
       "SOCK.ERROR sock.RecvString = Message too long"},
      {"too many header lines", "GET / HTTP/1.0\r\n" + HeaderLines(kMaxHeaderLines + 1) + "\r\n",
       "SOCK.ERROR too many header lines"},
      {"a hundred header lines are fine", "GET / HTTP/1.0\r\n" + HeaderLines(kMaxHeaderLines) + "\r\n", "",
       "GET", "/"},
      {"lower-case and repeated Range lines: the last counts",
       "GET /f HTTP/1.0\r\nRange: bytes=0-1\r\nrange: bytes=2-3\r\n\r\n", "", "GET", "/f", "bytes=2-3"},
      {"Range line without a space: the whole line", "GET /f HTTP/1.0\r\nRange:bytes=0-1\r\n\r\n", "",
       "GET", "/f", "Range:bytes=0-1"},
      {"Connection: close in any case, blanks around", "GET / HTTP/1.1\r\nconnection:  Close \r\n\r\n", "",
       "GET", "/", "", "", platform::kSockTimedOut, true},
      {"Connection: keep-alive is not close", "GET / HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", "",
       "GET", "/"},
      {"length without space reads no body", "POST /raw HTTP/1.0\r\nContent-Length:5\r\n\r\nhello", "",
       "POST", "/raw"},
      {"body read", "POST /raw HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello", "", "POST", "/raw", "", "hello"},
      {"repeated length: the last counts", "POST / HTTP/1.0\r\ncontent-length: 9\r\nContent-Length: 2\r\n\r\nok",
       "", "POST", "/", "", "ok"},
      {"negative length", "POST /raw HTTP/1.0\r\nContent-Length: -5\r\n\r\n", "", "POST", "/raw"},
      {"length beyond 32 bits reads no body", "POST / HTTP/1.0\r\nContent-Length: 4294967296\r\n\r\n", "",
       "POST", "/"},
      {"body longer than sent", "POST /raw HTTP/1.0\r\nContent-Length: 50\r\n\r\nshort",
       "SOCK.ERROR InputData = Connection timed out"},
      {"closed inside the body", "POST /raw HTTP/1.0\r\nContent-Length: 50\r\n\r\nshort",
       "SOCK.ERROR InputData = Connection reset by peer", "", "", "", "", kReset},
      {"declared body over 1 MiB",
       "POST / HTTP/1.0\r\nContent-Length: " + std::to_string(kMaxRequestBody + 1) + "\r\n\r\n",
       "SOCK.ERROR InputData = Message too long"},
      {"body of exactly 1 MiB",
       "POST / HTTP/1.0\r\nContent-Length: " + std::to_string(kMaxRequestBody) + "\r\n\r\n" +
           std::string(kMaxRequestBody, 'b'),
       "", "POST", "/", "", std::string(kMaxRequestBody, 'b')},
  };
  std::size_t feeds = 0;
  for (const Row& r : rows) {
    const Reading whole = Read(r.bytes, {}, r.end_error);
    EXPECT_EQ(SockErrorLine(whole.result), r.log_line) << r.name;
    if (r.log_line.empty()) {
      EXPECT_EQ(whole.request.method, r.method) << r.name;
      EXPECT_EQ(whole.request.target, r.target) << r.name;
      EXPECT_EQ(whole.request.range_spec, r.range) << r.name;
      EXPECT_TRUE(whole.request.body == r.body) << r.name;
      EXPECT_EQ(whole.request.client_closes, r.closes) << r.name;
    }
    for (const std::vector<std::size_t>& cuts : CutSets(r.bytes.size())) {
      ++feeds;
      const Reading cut = Read(r.bytes, cuts, r.end_error);
      if (cut.result == whole.result && cut.request == whole.request) continue;
      std::string at;
      for (std::size_t i = 0; i < cuts.size() && i < 8; ++i) at += " " + std::to_string(cuts[i]);
      ADD_FAILURE() << r.name << ": cut at" << at << (cuts.size() > 8 ? " ..." : "") << " reads \""
                    << SockErrorLine(cut.result) << "\"";
      break;  // one report a row
    }
  }
  RecordProperty("cut_feeds", static_cast<int>(feeds));
}

}  // namespace
}  // namespace kv

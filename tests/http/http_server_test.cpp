// The server in-process on loopback: request reading, routing, files and ranges, the
// connection bounds and start-up failures.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "history/history_store.h"
#include "http/http_thread.h"
#include "http_test_support.h"
#include "platform/program_folder.h"
#include "resources/resource_store.h"
#include "support/support_archive.h"
#include "test_files.h"

namespace kv::test {
namespace {

// The support archive the router builds of `sources`.
std::string ArchiveOf(const TArchiveSources& sources) {
  const auto text = [&](TArchiveSources::Text which) {
    return sources.texts[which] ? std::string_view(*sources.texts[which]) : std::string_view();
  };
  std::string zip;
  WriteSupportArchive({text(TArchiveSources::kConfig), text(TArchiveSources::kSmart), text(TArchiveSources::kTask),
                       text(TArchiveSources::kStat), text(TArchiveSources::kCache)},
                      sources.version, sources.local_time, sources.zone_bias_minutes, zip);
  return zip;
}

class HttpServerTest : public ::testing::Test {
 protected:
  HttpServerTest() {
    texts.Register(&content);
    content.main_page = "MAIN";
    content.config = "RAW";
    content.report = "INI";
    content.archive.texts[TArchiveSources::kConfig] = std::make_shared<const std::string>("RAW");
    content.archive.texts[TArchiveSources::kCache] = std::make_shared<const std::string>("CACHE");
    content.archive.version = "1.0.0.1";
    content.archive.local_time = 20795 * int64_t{86400} + 9 * 3600;  // 2026-12-08 09:00:00
    content.archive.zone_bias_minutes = -60;
    folder.Write("file.txt", "hello file");
    folder.Write("thousand.bin", PatternBytes(1000));
    folder.Write("empty.txt", "");
    folder.Write("sub/data.log", "sub data");
  }
  std::unique_ptr<TestServer> Start(HttpSettings settings = HttpSettings()) {
    return std::make_unique<TestServer>(folder.Root(), settings, &texts);
  }

  CoreLogRecorder log;
  FakeContent content;
  TServedTexts texts;
  TempFolder folder;
};

// Reading itself is tested from bytes in memory (http_request_test.cpp); these rows show
// the connection answering or logging over a real socket, with real time-outs and packets.
TEST_F(HttpServerTest, RequestReading) {
  HttpSettings settings;
  settings.recv_timeout_ms = 400;
  settings.max_error_lines = 1000;  // every row's line is looked for
  auto server = Start(settings);
  const std::string big_body(kMaxRequestBody, 'b');
  struct Row {
    std::string name, request;
    std::string status;    // expected status line; "" = no answer
    std::string log_line;  // expected core-log line, "" = none required
    std::string body;      // expected body when not empty
  } rows[] = {
      {"HTTP/1.1 request", "GET / HTTP/1.1\r\n\r\n", "HTTP/1.0 200", "", "MAIN "},
      {"two fields read no headers", "GET /raw\r\n", "HTTP/1.0 200", "", "RAW "},
      {"HEAD answered like GET", "HEAD /ini HTTP/1.0\r\n\r\n", "HTTP/1.0 200", "", "INI "},
      {"not HTTP", "GET / FTP/1.0\r\n\r\n", "", "SOCK.ERROR protocol is not HTTP [FTP/1.0]", ""},
      {"body read", "POST /raw HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.0 200", "", "RAW "},
      // Closed without the pause, yet what came after the request is read first: no reset.
      {"closing client, bytes after the request", "GET / HTTP/1.0\r\nConnection: close\r\n\r\nGET /raw\r\n",
       "HTTP/1.0 200", "", "MAIN "},
      {"body longer than sent", "POST /raw HTTP/1.0\r\nContent-Length: 50\r\n\r\nshort", "",
       "SOCK.ERROR InputData = Connection timed out", ""},
      {"silence", "", "", "SOCK.ERROR read request line = Connection timed out", ""},
      {"headers never end", "GET / HTTP/1.0\r\nHost: x\r\n", "",
       "SOCK.ERROR sock.RecvString = Connection timed out", ""},
      {"request line over 8 KiB", "GET /" + std::string(kMaxRequestLine, 'a') + " HTTP/1.0\r\n\r\n",
       "", "SOCK.ERROR read request line = Message too long", ""},
      {"body of exactly 1 MiB",
       "POST / HTTP/1.0\r\nContent-Length: " + std::to_string(kMaxRequestBody) + "\r\n\r\n" + big_body,
       "HTTP/1.0 200", "", "MAIN "},
  };
  for (const Row& r : rows) {
    log.Clear();
    Response got = ParseResponse(Exchange(server->port(), r.request));
    if (r.status.empty()) {
      EXPECT_FALSE(got.answered) << r.name << ": " << got.raw.substr(0, 80);
    } else {
      EXPECT_EQ(got.status_line, r.status) << r.name;
    }
    if (!r.log_line.empty()) EXPECT_TRUE(log.Has(r.log_line)) << r.name;
    if (!r.body.empty()) EXPECT_EQ(got.body, r.body) << r.name;
  }
}

TEST_F(HttpServerTest, PeerClosingFirstIsLogged) {
  auto server = Start();
  {
    TBlockSocket client;
    client.Connect("127.0.0.1", server->port());
    client.SendText("GET / HT");
  }
  for (int i = 0; i < 100 && !log.Has("SOCK.ERROR read request line = Connection reset by peer"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(log.Has("SOCK.ERROR read request line = Connection reset by peer"));
}

TEST_F(HttpServerTest, ConnectionsClosedAtOnceWriteABoundedLog) {
  auto server = Start();
  for (int i = 0; i < 300; ++i) {
    TBlockSocket client;
    client.Connect("127.0.0.1", server->port());
  }
  // Every one of them failed to send a request line; the answer still comes at once.
  EXPECT_EQ(ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n")).status_line, "HTTP/1.0 200");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int error_lines = 0;
  for (const std::string& line : log.Lines())
    if (line.rfind("SOCK.ERROR", 0) == 0) ++error_lines;
  EXPECT_GE(error_lines, 1);
  EXPECT_LE(error_lines, HttpSettings().max_error_lines);
}

TEST_F(HttpServerTest, Routing) {
  auto server = Start();
  std::string icon;
  const bool have_icon = EmbeddedFiles().Find("favicon.ico", icon);
  struct Row {
    std::string target;
    std::string status;
    std::string body;  // exact body, or "404-page" / "zip"
    std::string content_type;
  } rows[] = {
      {"/", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/INDEX.HTML", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/index.htm", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/Index.PHP", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/?refresh=1", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/./", "HTTP/1.0 200", "MAIN ", "text/html; charset=windows-1251"},
      {"/sub/index.html", "HTTP/1.0 404", "404-page", "text/html; charset=windows-1251"},
      {"/raw", "HTTP/1.0 200", "RAW ", "text/plain; charset=windows-1251"},
      {"/drawing.png", "HTTP/1.0 200", "RAW ", "text/plain; charset=windows-1251"},
      {"/mini.gif", "HTTP/1.0 200", "INI ", "text/plain; charset=windows-1251"},
      {"/ini", "HTTP/1.0 200", "INI ", "text/plain; charset=windows-1251"},
      {"/hdd_0_1", "HTTP/1.0 200", "drive[0_1]", "text/html; charset=windows-1251"},
      {"/sub/hdd_7", "HTTP/1.0 200", "drive[7]", "text/html; charset=windows-1251"},
      {"/support_kvr.zip", "HTTP/1.0 200", "zip", "application/zip; name=support_kvr.zip"},
      {"/nothing.txt", "HTTP/1.0 404", "404-page", "text/html; charset=windows-1251"},
      {"/file.txt", "HTTP/1.0 200", "hello file", "text/plain"},
      {"/file.txt?x=1", "HTTP/1.0 200", "hello file", "text/plain"},
      {"/sub/data.log", "HTTP/1.0 200", "sub data", "text/plain"},
      {"/sub/./data.log", "HTTP/1.0 200", "sub data", "text/plain"},
      {"/x/../sub/data.log", "HTTP/1.0 200", "sub data", "text/plain"},
      {"/sub/", "HTTP/1.0 404", "404-page", "text/html; charset=windows-1251"},
      {"/sub", "HTTP/1.0 404", "404-page", "text/html; charset=windows-1251"},
  };
  for (const Row& r : rows) {
    Response got = ParseResponse(Exchange(server->port(), "GET " + r.target + " HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(got.status_line, r.status) << r.target;
    if (r.body == "404-page")
      EXPECT_NE(got.body.find("<TITLE>404 - 404 Not Found</TITLE>"), std::string::npos) << r.target;
    else if (r.body == "zip")
      EXPECT_TRUE(got.body == ArchiveOf(content.archive)) << r.target;
    else
      EXPECT_EQ(got.body, r.body) << r.target;
    EXPECT_EQ(got.Header("Content-Type"), r.content_type) << r.target;
    EXPECT_EQ(got.Header("Content-length"), std::to_string(got.body.size())) << r.target;
  }
  if (have_icon) {
    for (const char* target : {"/favicon.ico", "/a/../favicon.ico"}) {
      Response got = ParseResponse(Exchange(server->port(), std::string("GET ") + target + " HTTP/1.0\r\n\r\n"));
      EXPECT_EQ(got.status_line, "HTTP/1.0 200") << target;
      EXPECT_EQ(got.body, icon) << target;
      EXPECT_EQ(got.Header("Content-Type"), "application/octet-stream");
      EXPECT_EQ(got.Header("Accept-Ranges"), "bytes");
    }
  }
}

TEST_F(HttpServerTest, WithoutCollectionEveryTextIsUnavailable) {
  auto server = Start();
  texts.Register(nullptr);
  for (const char* target : {"/", "/raw", "/ini", "/hdd_0", "/support_kvr.zip", "/c1/", "/c2/", "/c2/raw"}) {
    Response got = ParseResponse(Exchange(server->port(), std::string("GET ") + target + " HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(got.status_line, "HTTP/1.0 503") << target;
    EXPECT_NE(got.body.find("Response: 503 Service Unavailable"), std::string::npos) << target;
  }
}

TEST_F(HttpServerTest, FilesOutsideTheFolderAreNeverServed) {
  TempFolder outside;
  outside.Write("secret.txt", "SECRET");
  folder.Write("inside/ok.txt", "fine");
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside.path(), folder.path() / "link_dir", ec);
  const bool have_links = !ec;
  std::filesystem::create_symlink(outside.path() / "secret.txt", folder.path() / "link.txt", ec);
  auto server = Start();
  const std::string rel = "../" + outside.path().filename().string() + "/secret.txt";
  const std::string targets[] = {
      "/" + rel, "/inside/../" + rel, "/inside/../../" + outside.path().filename().string() + "/secret.txt",
      "/..\\" + outside.path().filename().string() + "\\secret.txt", "/inside\\..\\..\\secret.txt",
      "/%2e%2e/" + outside.path().filename().string() + "/secret.txt", "/..%2f..%2fsecret.txt",
      "/link_dir/secret.txt", "/link.txt", "/" + outside.path().string() + "/secret.txt",
      "//" + outside.path().string().substr(1) + "/secret.txt", "/C:/secret.txt", "/c:secret.txt",
      "/inside/ok.txt:stream", "/...", "/../", "/..", "/inside/..",
  };
  for (const std::string& t : targets) {
    Response got = ParseResponse(Exchange(server->port(), "GET " + t + " HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(got.status_line, "HTTP/1.0 404") << t;
    EXPECT_EQ(got.body.find("SECRET"), std::string::npos) << t;
  }
  EXPECT_EQ(ParseResponse(Exchange(server->port(), "GET /inside/ok.txt HTTP/1.0\r\n\r\n")).body, "fine");
  if (!have_links) GTEST_LOG_(INFO) << "symbolic links not available here; link rows answered 404 anyway";
}

TEST_F(HttpServerTest, DiskFileRanges) {
  auto server = Start();
  const std::string bytes = PatternBytes(1000);
  struct Row {
    std::string range;
    std::string status;
    std::string content_range;
    int64_t from, count;  // expected body slice; count -1 = an error page
  } rows[] = {
      {"", "HTTP/1.0 200", "<none>", 0, 1000},
      {"bytes=0-99", "HTTP/1.0 206", "bytes 0-99/1000", 0, 100},
      {"bytes=900-", "HTTP/1.0 206", "bytes 900-999/1000", 900, 100},
      {"bytes=500-9999", "HTTP/1.0 206", "bytes 500-999/1000", 500, 500},
      {"bytes=-100", "HTTP/1.0 206", "bytes 900-999/1000", 900, 100},
      {"bytes=5000-", "HTTP/1.0 416", "bytes */1000", 0, -1},
      {"bytes=0-9,20-29", "HTTP/1.0 501", "<none>", 0, -1},
      {"items=0-9", "HTTP/1.0 501", "<none>", 0, -1},
      {"bytes=a-9", "HTTP/1.0 400", "<none>", 0, -1},
      {"bytes=9-2", "HTTP/1.0 400", "<none>", 0, -1},
  };
  for (const Row& r : rows) {
    std::string request = "GET /thousand.bin HTTP/1.0\r\n";
    if (!r.range.empty()) request += "Range: " + r.range + "\r\n";
    Response got = ParseResponse(Exchange(server->port(), request + "\r\n"));
    EXPECT_EQ(got.status_line, r.status) << r.range;
    EXPECT_EQ(got.Header("Content-Range"), r.content_range) << r.range;
    if (r.count >= 0) {
      EXPECT_EQ(got.body, bytes.substr(r.from, r.count)) << r.range;
      EXPECT_EQ(got.Header("Content-length"), std::to_string(r.count)) << r.range;
      EXPECT_EQ(got.Header("Content-Type"), "application/octet-stream");
    }
    if (r.status == "HTTP/1.0 206") EXPECT_EQ(got.headers.back().compare(0, 15, "Content-Range: "), 0);
  }
  // Repeated and lower-case Range lines: the last one counts.
  Response twice = ParseResponse(Exchange(
      server->port(), "GET /thousand.bin HTTP/1.0\r\nRange: bytes=0-1\r\nrange: bytes=2-3\r\n\r\n"));
  EXPECT_EQ(twice.Header("Content-Range"), "bytes 2-3/1000");
  EXPECT_EQ(twice.body, bytes.substr(2, 2));
  Response empty = ParseResponse(Exchange(server->port(), "GET /empty.txt HTTP/1.0\r\nRange: bytes=0-\r\n\r\n"));
  EXPECT_EQ(empty.status_line, "HTTP/1.0 416");
  EXPECT_EQ(empty.Header("Content-Range"), "bytes */0");
  Response zip = ParseResponse(
      Exchange(server->port(), "GET /support_kvr.zip HTTP/1.0\r\nRange: bytes=0-1\r\n\r\n"));
  EXPECT_EQ(zip.status_line, "HTTP/1.0 200");
  EXPECT_TRUE(zip.body == ArchiveOf(content.archive));
}

TEST_F(HttpServerTest, SlowReaderReceivesEveryByte) {
  const std::string big = PatternBytes(5 * 1024 * 1024);
  folder.Write("big.bin", big);
  // The page leaves as head, page and tail gathered: sends stop inside each of them.
  content.main_page = PatternBytes(3 * 1024 * 1024 + 7);
  auto server = Start();
  for (const auto& [target, expected] : {std::pair<std::string, std::string>{"/big.bin", big},
                                         {"/", content.main_page + " "}}) {
    TBlockSocket client;
    client.Connect("127.0.0.1", server->port());
    client.SendText("GET " + target + " HTTP/1.0\r\n\r\n");
    std::string received;
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::string part;
      client.RecvBlock(part, 64 * 1024, 10000);
      received += part;
      if (client.LastError() != 0) break;
    }
    Response got = ParseResponse(received);
    EXPECT_EQ(got.status_line, "HTTP/1.0 200") << target;
    EXPECT_EQ(got.Header("Content-length"), std::to_string(expected.size())) << target;
    ASSERT_EQ(got.body.size(), expected.size()) << target;
    EXPECT_TRUE(got.body == expected) << target;
  }
}

// The downloads read a real history file beside the program, in pieces; every failure to
// read it is an error page with the reason, not an empty or cut download.
TEST_F(HttpServerTest, HistoryDownloads) {
  auto server = Start();
  const auto get = [&](const std::string& target) {
    return ParseResponse(Exchange(server->port(), "GET " + target + " HTTP/1.0\r\n\r\n"));
  };
  const auto rows = [](const Response& r, const std::string& first) {
    size_t count = 0;
    for (size_t at = r.body.find(first); at != std::string::npos; at = r.body.find(first, at + 1)) ++count;
    return count;
  };
  Response missing = get("/history.csv");
  EXPECT_EQ(missing.status_line, "HTTP/1.0 404");
  EXPECT_NE(missing.body.find("No drive history yet"), std::string::npos);

  // Two drives of 400 hourly samples: several pieces each; one sample older than 90 days.
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count();
  const int64_t first = now - 400 * 3600;
  {
    std::string moved, error;
    auto store = THistoryStore::Open((folder.path() / "korvane_monitor_history.db").string(), "20260101-000000",
                                     moved, error);
    ASSERT_TRUE(store) << error;
    const auto drive = [](const char* serial) { return TDriveSample{serial, serial, "0", "1", "Online", "Good", {}}; };
    std::vector<THistorySample> samples = {{.Time = now - 100 * 86400, .Drives = {drive("SER-1")}}};
    for (int i = 0; i < 400; ++i) samples.push_back({.Time = first + i * 3600, .Drives = {drive("SER-1"), drive("SER 2")}});
    ASSERT_EQ(store->Write(samples, error), THistoryWrite::Written) << error;
  }

  Response all = get("/history.csv");
  EXPECT_EQ(all.status_line, "HTTP/1.0 200");
  EXPECT_EQ(all.Header("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(all.Header("Content-Disposition"), "attachment; filename=drive_history.csv");
  EXPECT_EQ(all.Header("Content-length"), "<none>");
  EXPECT_EQ(all.body.rfind("\xEF\xBB\xBFtime,time_utc,", 0), 0u);
  EXPECT_GT(all.body.size(), 3 * 16384u);
  EXPECT_EQ(rows(all, "\r\n"), 1 + 800u);  // the old sample is left out

  Response one = get("/history.csv?serial=SER%202");
  EXPECT_EQ(one.Header("Content-Disposition"), "attachment; filename=drive_history_SER_2.csv");
  EXPECT_EQ(rows(one, ",SER 2,SER 2,"), 400u);
  EXPECT_EQ(rows(one, "\r\n"), 1 + 400u);
  EXPECT_EQ(rows(get("/history.csv?serial=SER-1"), "\r\n"), 1 + 401u);  // one drive: all of it

  Response json = get("/history.json?from=" + std::to_string(first) + "&to=" + std::to_string(first + 9 * 3600));
  EXPECT_EQ(json.status_line, "HTTP/1.0 200");
  EXPECT_EQ(json.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(json.Header("Content-Disposition"), "<none>");
  EXPECT_EQ(rows(json, "{\"time\":"), 20u);
  EXPECT_EQ(json.body.substr(json.body.size() - 2), "]}");

  Response bad = get("/history.json?from=10&to=5");
  EXPECT_EQ(bad.status_line, "HTTP/1.0 400");
  EXPECT_NE(bad.body.find("\"from\" is after \"to\"."), std::string::npos);

  HttpSettings settings;
  settings.allow = TClientAllowList("10.9.9.9");  // the downloads are read like every page
  EXPECT_EQ(ParseResponse(Exchange(Start(settings)->port(), "GET /history.csv HTTP/1.0\r\n\r\n")).status_line,
            "HTTP/1.0 403");
  settings.allow = TClientAllowList();
  folder.Write("not_a_database.db", std::string(4096, 'x'));
  settings.history_file = "not_a_database.db";
  Response unreadable = ParseResponse(Exchange(Start(settings)->port(), "GET /history.json HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(unreadable.status_line, "HTTP/1.0 503");
  EXPECT_NE(unreadable.body.find("cannot be read"), std::string::npos);
  settings.history_use = false;
  Response off = ParseResponse(Exchange(Start(settings)->port(), "GET /history.csv HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(off.status_line, "HTTP/1.0 404");
  EXPECT_NE(off.body.find("history is off"), std::string::npos);
}

TEST_F(HttpServerTest, SharedMainPageIsServedWithoutACopy) {
  content.shared_main_page = std::make_shared<const std::string>("SHARED");
  TSharedPage page;
  ASSERT_TRUE(texts.ShareMainPage(1, page));
  EXPECT_EQ(page.page, content.shared_main_page);  // the same string, not a copy
  std::string copied;
  ASSERT_TRUE(texts.CopyMainPage(1, copied));
  EXPECT_EQ(copied, "SHARED ");
  auto server = Start();
  Response got = ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(got.body, "SHARED ");
  EXPECT_EQ(got.Header("Content-length"), "7");
}

TEST_F(HttpServerTest, ServedTextsKnowTheirControllers) {
  content.controllers = 3;
  content.bar = std::make_shared<const std::string>("<BAR>");
  content.bar_at = 2;
  EXPECT_EQ(texts.ControllerCount(), 3);
  struct Row {
    int controller;
    bool served;
    std::string page;  // CopyMainPage
  } rows[] = {{0, false, ""}, {1, true, "MA<BAR>IN "}, {3, true, "MA<BAR>IN3 "}, {4, false, ""}, {-1, false, ""}};
  for (const Row& r : rows) {
    std::string page = "stale", raw = "stale";
    EXPECT_EQ(texts.HasController(r.controller), r.served) << r.controller;
    EXPECT_EQ(texts.CopyMainPage(r.controller, page), r.served) << r.controller;
    EXPECT_EQ(page, r.page) << r.controller;
    EXPECT_EQ(texts.CopyConfigText(r.controller, raw), r.served) << r.controller;
    EXPECT_EQ(raw.empty(), !r.served) << r.controller;
  }
  // A bar placed beyond the page goes at its end; a count beyond the bound is the bound.
  content.bar_at = 99;
  TSharedPage page;
  ASSERT_TRUE(texts.ShareMainPage(1, page));
  EXPECT_EQ(page.bar_at, 4u);
  EXPECT_EQ(TServedTexts::JoinPage(page), "MAIN<BAR> ");
  content.controllers = 40;
  EXPECT_EQ(texts.ControllerCount(), kMaxControllers);
  texts.Register(nullptr);
  EXPECT_EQ(texts.ControllerCount(), 0);
  EXPECT_FALSE(texts.HasController(1));
}

TEST_F(HttpServerTest, ControllerFolders) {
  content.controllers = 2;
  content.bar = std::make_shared<const std::string>("<BAR>");
  content.bar_at = 1;
  folder.Write("c1x/raw.txt", "disk");
  auto server = Start();
  struct Row {
    std::string target;
    std::string status;
    std::string body;  // exact body, or "404-page" / "zip2"
  } rows[] = {
      {"/c2/", "HTTP/1.0 200", "M<BAR>AIN2 "},
      {"/c2/INDEX.htm", "HTTP/1.0 200", "M<BAR>AIN2 "},
      {"/c2/raw", "HTTP/1.0 200", "RAW2 "},
      {"/c2/mini.css", "HTTP/1.0 200", "INI2 "},
      {"/c2/hdd_1_2", "HTTP/1.0 200", "drive2[1_2]"},
      {"/c2/support_kvr.zip", "HTTP/1.0 200", "zip2"},
      {"/x/../c2/./hdd_3", "HTTP/1.0 200", "drive2[3]"},
      {"/c1/", "HTTP/1.0 200", "M<BAR>AIN "},
      {"/c1/raw", "HTTP/1.0 200", "RAW "},
      {"/c2", "HTTP/1.0 301", ""},
      {"/c1?x=1", "HTTP/1.0 301", ""},
      {"/c3", "HTTP/1.0 404", "404-page"},
      {"/c3/", "HTTP/1.0 404", "404-page"},
      {"/c9/", "HTTP/1.0 404", "404-page"},
      {"/c0/", "HTTP/1.0 404", "404-page"},
      {"/c02/", "HTTP/1.0 404", "404-page"},
      {"/c02/raw", "HTTP/1.0 404", "404-page"},
      {"/c2/metrics", "HTTP/1.0 404", "404-page"},
      {"/c1x/", "HTTP/1.0 404", "404-page"},      // an ordinary folder
      {"/c1x/raw.txt", "HTTP/1.0 200", "RAW "},   // of controller 1, as every folder's names
      {"/c2/x/raw", "HTTP/1.0 200", "RAW "},      // deeper folders too
      {"/c2/x/hdd_1", "HTTP/1.0 200", "drive[1]"},
  };
  for (const Row& r : rows) {
    Response got = ParseResponse(Exchange(server->port(), "GET " + r.target + " HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(got.status_line, r.status) << r.target;
    if (r.body == "404-page") {
      EXPECT_NE(got.body.find("<TITLE>404 - 404 Not Found</TITLE>"), std::string::npos) << r.target;
    } else if (r.body == "zip2") {
      EXPECT_TRUE(got.body == ArchiveOf(content.ArchiveSourcesLocked(2))) << r.target;
      EXPECT_FALSE(got.body == ArchiveOf(content.archive)) << r.target;
    } else {
      EXPECT_EQ(got.body, r.body) << r.target;
    }
    EXPECT_EQ(got.Header("Content-length"), std::to_string(got.body.size())) << r.target;
  }
  // The redirect keeps the head of the other answers and names the folder.
  Response moved = ParseResponse(Exchange(server->port(), "GET /c2 HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(moved.Header("Location"), "/c2/");
  EXPECT_EQ(moved.Header("Connection"), "close");
  EXPECT_EQ(moved.Header("Server"), "HA-HA-HA HTTP server :)");
  EXPECT_NE(moved.Header("Date"), "<none>");
  // "/" and "/c1/" are the same answer, byte for byte but the date.
  const auto without_date = [](Response r) {
    for (std::string& line : r.headers)
      if (line.rfind("Date:", 0) == 0) line = "Date:";
    return r.headers;
  };
  Response root = ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n"));
  Response first = ParseResponse(Exchange(server->port(), "GET /c1/ HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(first.status_line, root.status_line);
  EXPECT_EQ(without_date(first), without_date(root));
  EXPECT_EQ(first.body, root.body);
}

TEST_F(HttpServerTest, ConcurrentClientsEachGetTheWholePage) {
  // More clients at once than connection workers have been started: each is answered in full.
  content.main_page = PatternBytes(512 * 1024);
  HttpSettings settings;
  settings.max_per_client = 64;
  auto server = Start(settings);
  std::vector<std::thread> clients;
  std::atomic<int> whole{0};
  for (int i = 0; i < 48; ++i)
    clients.emplace_back([&] {
      Response got = ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n", 20000));
      if (got.status_line == "HTTP/1.0 200" && got.body.size() == content.main_page.size() + 1) ++whole;
    });
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(whole, 48);
}

TEST_F(HttpServerTest, ConnectionsOverTheBoundsGet503AtOnce) {
  HttpSettings settings;
  settings.max_per_client = 3;
  auto server = Start(settings);
  std::vector<std::unique_ptr<TBlockSocket>> idle;
  for (int i = 0; i < 3; ++i) {
    idle.push_back(std::make_unique<TBlockSocket>());
    idle.back()->Connect("127.0.0.1", server->port());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  log.Clear();
  auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    Response got = ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n", 5000));
    EXPECT_EQ(got.status_line, "HTTP/1.0 503");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  int refusal_lines = 0;
  for (const std::string& line : log.Lines())
    if (line.rfind("SOCK.ERROR too many connections", 0) == 0) ++refusal_lines;
  EXPECT_GE(refusal_lines, 1);
  EXPECT_LE(refusal_lines, 4);  // one a second at most
  idle.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(ParseResponse(Exchange(server->port(), "GET / HTTP/1.0\r\n\r\n")).status_line, "HTTP/1.0 200");
}

TEST_F(HttpServerTest, StartLineAndTakenPort) {
  auto server = Start();
  const std::string start_line =
      "Webserver starting on " + server->events().StartAddress() + ":" + server->port();
  for (int i = 0; i < 100 && !log.Has(start_line); ++i)  // logged just after the start event
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(log.Has(start_line));
  log.Clear();
  RecordingEvents second_events;
  {
    TTCPHttpDaemon second(folder.Root(), server->port(), second_events, HttpSettings(), texts, EmbeddedFiles());
    EXPECT_EQ(second_events.WaitStarted(), "");
  }
  ASSERT_EQ(second_events.Errors().size(), 1u);
  EXPECT_EQ(second_events.Errors()[0], "HTTP Server Error:\r\nAddress already in use");
  for (const std::string& line : log.Lines()) EXPECT_EQ(line.find("Webserver starting on"), std::string::npos);
}

TEST(HttpSettings, ReadFromSectionHttp) {
  HttpSettings defaults;
  EXPECT_EQ(defaults.max_connections, 256);
  EXPECT_EQ(defaults.max_per_client, 16);
  EXPECT_EQ(defaults.recv_timeout_ms, 120000);
  EXPECT_EQ(defaults.max_error_lines, 5);
  HttpSettings set(ReadSettings(TMemIniFile(
      "[http]\r\nmax_connections=10\r\nmax_per_client=2\r\nrecv_timeout=1500\r\nmax_error_lines=50\r\n")));
  EXPECT_EQ(set.max_connections, 10);
  EXPECT_EQ(set.max_per_client, 2);
  EXPECT_EQ(set.recv_timeout_ms, 1500);
  EXPECT_EQ(set.max_error_lines, 50);
  HttpSettings bad(
      ReadSettings(TMemIniFile("[http]\r\nmax_connections=0\r\nmax_per_client=-3\r\nrecv_timeout=abc\r\n")));
  EXPECT_EQ(bad.max_connections, 256);
  EXPECT_EQ(bad.max_per_client, 16);
  EXPECT_EQ(bad.recv_timeout_ms, 120000);
}

}  // namespace
}  // namespace kv::test

#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace kv::platform {
namespace {

enum class Reply { kStatus, kHang, kClose };

// One connection on 127.0.0.1: reads one request, then answers with a canned status, never
// answers (until the client gives up) or closes. Every wait is bounded.
class OneShotServer {
 public:
  OneShotServer(Reply reply, int status) : reply_(reply), status_(status) {
    LoadSocketLibrary();
    if (BindTcpSocket("127.0.0.1", "0", false, 0, listener_) == 0 && ListenSocket(listener_) == 0)
      SocketLocalPort(listener_, port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    stop_ = true;
    thread_.join();
    CloseSocket(listener_);
  }
  int port() const { return port_; }
  // The request as it came, once it is complete (or the client left, or 5 s passed).
  std::string WaitForRequest() {
    std::unique_lock<std::mutex> lock(mutex_);
    seen_.wait_for(lock, std::chrono::seconds(5), [&] { return have_request_; });
    return request_;
  }

 private:
  bool Readable(SocketHandle handle) {
    bool ready = false;
    for (int waited = 0; !stop_ && !ready && waited < 100; ++waited)
      if (WaitSocketReadable(handle, 50, ready) != 0) return false;
    return ready;
  }
  std::string ReadRequest(SocketHandle client) {
    std::string text;
    char buffer[4096];
    for (;;) {
      const size_t head_end = text.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        const size_t length_at = text.find("Content-Length: ");
        const size_t length = length_at < head_end ? std::stoul(text.substr(length_at + 16)) : 0;
        if (text.size() >= head_end + 4 + length) return text;
      }
      size_t got = 0;
      if (text.size() > 1 << 20 || !Readable(client) || ReceiveSome(client, buffer, sizeof buffer, got) != 0 ||
          got == 0)
        return text;
      text.append(buffer, got);
    }
  }
  void Serve() {
    SocketHandle client = kNoSocket;
    std::string peer;
    if (listener_ == kNoSocket || !Readable(listener_) || AcceptSocket(listener_, client, peer) != 0) return;
    std::string text = ReadRequest(client);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      request_ = text;
      have_request_ = true;
    }
    seen_.notify_all();
    if (reply_ == Reply::kStatus) {
      const std::string body = status_ == 204 ? "" : "dropped";
      const std::string answer = "HTTP/1.1 " + std::to_string(status_) + " Canned\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      size_t sent = 0;
      SendSome(client, answer.data(), answer.size(), sent);
    } else if (reply_ == Reply::kHang) {
      char buffer[256];
      size_t got = 1;
      while (got > 0 && Readable(client) && ReceiveSome(client, buffer, sizeof buffer, got) == 0) {}
    }
    CloseSocket(client);
  }

  Reply reply_;
  int status_;
  SocketHandle listener_ = kNoSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable seen_;
  bool have_request_ = false;
  std::string request_;
  std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on any more.
int ClosedPort() {
  SocketHandle handle = kNoSocket;
  int port = 0;
  if (BindTcpSocket("127.0.0.1", "0", false, 0, handle) == 0) SocketLocalPort(handle, port);
  CloseSocket(handle);
  return port;
}

enum class Cancel { kNo, kBefore, kDuring };

#ifdef _WIN32
// Wine does not abort a blocked WinHTTP call when its handle closes (Windows does): there
// the cancel shows once the 3 s timeout ends the call.
constexpr double kCancelBound = 4.5;
#else
constexpr double kCancelBound = 2;
#endif

struct Case {
  const char* name;
  Reply reply;
  int status;
  const char* url;  // {port}: the server's; {closed}: one nothing listens on
  int timeout_seconds;
  const char* ca_file;
  Cancel cancel;
  int want_status;  // 0: no answer, `want_error` instead
  const char* want_error;
  double max_seconds;
};

TEST(HttpPost, AnswersFailuresAndCancels) {
  const Case cases[] = {
      {"ok", Reply::kStatus, 200, "http://127.0.0.1:{port}/hook?x=1", 10, "", Cancel::kNo, 200, "", 5},
      {"server error", Reply::kStatus, 500, "http://127.0.0.1:{port}/", 10, "", Cancel::kNo, 500, "", 5},
      {"no content", Reply::kStatus, 204, "HTTP://127.0.0.1:{port}/", 10, "", Cancel::kNo, 204, "", 5},
      {"closed at once", Reply::kClose, 0, "http://127.0.0.1:{port}/", 10, "", Cancel::kNo, 0, nullptr, 5},
      {"hang", Reply::kHang, 0, "http://127.0.0.1:{port}/", 1, "", Cancel::kNo, 0, "timed out", 3},
      {"refused", Reply::kHang, 0, "http://127.0.0.1:{closed}/", 10, "", Cancel::kNo, 0, "connection refused", 5},
      {"ftp", Reply::kHang, 0, "ftp://127.0.0.1:{port}/", 10, "", Cancel::kNo, 0, "bad address", 1},
      {"no scheme", Reply::kHang, 0, "127.0.0.1:{port}/", 10, "", Cancel::kNo, 0, "bad address", 1},
      {"cancel during", Reply::kHang, 0, "http://127.0.0.1:{port}/", 3, "", Cancel::kDuring, 0, "cancelled",
       kCancelBound},
      {"cancel before", Reply::kHang, 0, "http://127.0.0.1:{port}/", 30, "", Cancel::kBefore, 0, "cancelled", 1},
      {"missing CA file", Reply::kHang, 0, "https://127.0.0.1:{port}/", 5, "/nonexistent/ca.pem", Cancel::kNo, 0,
       "cannot read the CA file", 5},
  };
  const std::string body = "{\"text\":\"RAID 1 degraded \xC3\xA4\"}" + std::string(3000, 'x');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneShotServer server(c.reply, c.status);
    std::string url = c.url;
    if (size_t at = url.find("{port}"); at != std::string::npos) url.replace(at, 6, std::to_string(server.port()));
    if (size_t at = url.find("{closed}"); at != std::string::npos) url.replace(at, 8, std::to_string(ClosedPort()));
    ConsoleProcessCancel cancel;
    HttpPostRequest request{url, "application/json; charset=utf-8", body, "X-Token: s3cret", c.ca_file,
                            c.timeout_seconds, &cancel};
    if (c.cancel == Cancel::kBefore) cancel.Cancel();
    std::thread canceller;
    if (c.cancel == Cancel::kDuring) canceller = std::thread([&] {
        server.WaitForRequest();
        cancel.Cancel();
      });
    const auto start = std::chrono::steady_clock::now();
    const HttpPostResult result = HttpPost(request);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (canceller.joinable()) canceller.join();

    EXPECT_EQ(result.answered, c.want_status != 0);
    EXPECT_EQ(result.status, c.want_status);
    if (c.want_status != 0) {
      EXPECT_EQ(result.error, "");
    } else {
      EXPECT_NE(result.error, "");
      if (c.want_error != nullptr) {
        EXPECT_EQ(result.error, c.want_error);
      }
    }
    EXPECT_LT(took, c.max_seconds);
    EXPECT_NEAR(result.seconds, took, 0.5);
    if (c.want_status == 200) {
      const std::string seen = server.WaitForRequest();
      EXPECT_EQ(seen.rfind("POST /hook?x=1 HTTP/1.1\r\n", 0), 0u) << seen;
      EXPECT_NE(seen.find("\r\nContent-Type: application/json; charset=utf-8\r\n"), std::string::npos) << seen;
      EXPECT_NE(seen.find("\r\nX-Token: s3cret\r\n"), std::string::npos) << seen;
      const size_t head_end = seen.find("\r\n\r\n");
      EXPECT_EQ(head_end == std::string::npos ? "" : seen.substr(head_end + 4), body);
    }
  }
}

}  // namespace
}  // namespace kv::platform

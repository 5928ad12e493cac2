// The request reader and router over a connected socket pair: a writer thread sends the
// input as the client and closes its sending side, the connection object reads and
// answers it, and the writer drains the answer. Content is served from a small stand-in
// and a temporary program folder. Any input must end the connection within the read
// time-out, whatever it holds.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "collect/served_content.h"
#include "http/http_thread.h"

namespace {

class StandInContent : public kv::ServedContent {
 public:
  std::string MainPageLocked() const override { return "<html>main</html>"; }
  std::string ConfigTextLocked() const override { return "raw listing"; }
  std::string ReportTextLocked() const override { return "[state]\r\nok=1\r\n"; }
  std::string DrivePageLocked(const std::string& key) const override {
    return key == "0_1" ? "<html>drive</html>" : std::string();
  }
  void BuildSupportArchiveLocked(std::string& zip) const override { zip = "PK\x05\x06"; }
};

StandInContent g_content;
std::string g_root;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("kv-fuzz-request-" + std::to_string(getpid()));
  fs::create_directories(root / "sub");
  std::ofstream(root / "a.txt") << "0123456789";
  std::ofstream(root / "sub" / "b.css") << "body{}";
  g_root = root.string() + "/";
  kv::RegisterServedContent(&g_content);
  std::atexit([] { std::error_code ec; std::filesystem::remove_all(g_root, ec); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000) return 0;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  const int client = fds[1];
  std::thread writer([client, data, size] {
    size_t sent = 0;
    while (sent < size) {
      const ssize_t n = send(client, data + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    shutdown(client, SHUT_WR);
    char buffer[65536];
    while (recv(client, buffer, sizeof buffer, 0) > 0) {
    }
  });
  {
    kv::HttpConnectionContext context;
    context.root_dir = g_root;
    context.recv_timeout_ms = 500;
    // Not a loopback peer: the maintenance stop is never honoured here.
    kv::TTCPHttpThrd connection(fds[0], "192.0.2.7", context);
    connection.Execute();
  }  // closes the server side, which ends the writer's drain
  writer.join();
  close(client);
  return 0;
}

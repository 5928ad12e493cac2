// The request reader over bytes in memory, then the router for what it read. The input is
// read twice, whole and cut into packets of 1 to 8 bytes (the first byte picks the size
// and whether the client waits or closes at the end), and both reads must agree. A request
// that reads is answered over a connected socket pair: a writer thread drains the answer
// as the client. Content is served from a small stand-in and a temporary program folder.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/http_request.h"
#include "http/http_thread.h"
#include "served/served_content.h"

namespace {

class StandInContent : public kv::ServedContent {
 public:
  // Two controllers, so the "/c2/" folder and the bar are reached too.
  int ControllerCountLocked() const override { return 2; }
  kv::TSharedPage MainPageLocked(int controller) const override {
    return {page_, controller == 1 ? std::size_t{6} : std::size_t{100}, bar_};
  }
  std::string ConfigTextLocked(int controller) const override { return "raw listing " + std::to_string(controller); }
  std::string ReportTextLocked(int) const override { return "[state]\r\nok=1\r\n"; }
  std::string DrivePageLocked(int, const std::string& key) const override {
    return key == "0_1" ? "<html>drive</html>" : std::string();
  }
  kv::TArchiveSources ArchiveSourcesLocked(int) const override {
    kv::TArchiveSources sources;
    sources.texts[kv::TArchiveSources::kConfig] = config_;
    sources.version = "1.0.0.1";
    return sources;
  }

 private:
  std::shared_ptr<const std::string> page_ = std::make_shared<const std::string>("<html>main</html>");
  std::shared_ptr<const std::string> bar_ = std::make_shared<const std::string>("<div>bar</div>");
  std::shared_ptr<const std::string> config_ = std::make_shared<const std::string>("raw listing");
};

StandInContent g_content;
kv::TServedTexts g_texts;
std::string g_root;

void Answer(const kv::HttpRequest& request) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  const int client = fds[1];
  std::thread reader([client] {
    char buffer[65536];
    while (recv(client, buffer, sizeof buffer, 0) > 0) {
    }
  });
  {
    kv::HttpConnectionContext context;
    context.root_dir = g_root;
    context.texts = &g_texts;
    // Not a loopback peer: the maintenance stop is never honoured here.
    kv::TTCPHttpThrd connection(fds[0], "192.0.2.7", context);
    connection.Answer(request);
  }  // closes the server side, which ends the reader
  reader.join();
  close(client);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("kv-fuzz-request-" + std::to_string(getpid()));
  fs::create_directories(root / "sub");
  std::ofstream(root / "a.txt") << "0123456789";
  std::ofstream(root / "sub" / "b.css") << "body{}";
  g_root = root.string() + "/";
  g_texts.Register(&g_content);
  std::atexit([] { std::error_code ec; std::filesystem::remove_all(g_root, ec); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t packet = size > 0 ? (data[0] & 7) + 1 : 1;
  const int end_error = size > 0 && (data[0] & 8) ? kv::platform::kSockConnReset : kv::platform::kSockTimedOut;
  std::vector<std::size_t> cuts;
  for (std::size_t at = packet; at < size; at += packet) cuts.push_back(at);

  kv::HttpRequest whole, cut;
  kv::TMemoryLineSource whole_source(bytes, {}, end_error);
  kv::TMemoryLineSource cut_source(bytes, cuts, end_error);
  const kv::RequestResult whole_result = kv::ReadRequest(whole_source, whole, 1000);
  const kv::RequestResult cut_result = kv::ReadRequest(cut_source, cut, 1000);
  if (!(whole_result == cut_result && whole == cut)) std::abort();  // the cuts changed the reading
  if (whole_result.ok()) Answer(whole);
  return 0;
}

#include "http_test_support.h"

#include <atomic>
#include <fstream>

#include "http/request_path.h"
#include "platform/program_folder.h"
#include "test_files.h"

namespace kv::test {

std::string Response::Header(const std::string& name) const {
  for (const std::string& line : headers)
    if (line.compare(0, name.size() + 2, name + ": ") == 0) return line.substr(name.size() + 2);
  return "<none>";
}

Response ParseResponse(const std::string& raw) {
  Response r;
  r.raw = raw;
  r.answered = !raw.empty();
  std::size_t end_of_head = raw.find("\r\n\r\n");
  if (end_of_head == std::string::npos) return r;
  std::string head = raw.substr(0, end_of_head + 2);
  r.body = raw.substr(end_of_head + 4);
  std::size_t at = 0;
  bool first = true;
  while (at < head.size()) {
    std::size_t eol = head.find("\r\n", at);
    std::string line = head.substr(at, eol - at);
    if (first) r.status_line = line;
    else r.headers.push_back(line);
    first = false;
    at = eol + 2;
  }
  return r;
}

std::string Exchange(const std::string& port, const std::string& request, int timeout_ms) {
  TBlockSocket client;
  client.Connect("127.0.0.1", port);
  if (client.LastError() != 0) return "<connect failed: " + client.LastErrorText() + ">";
  client.SendText(request);
  std::string answer;
  for (;;) {
    std::string packet = client.RecvPacket(timeout_ms);
    if (client.LastError() != 0) break;
    answer += packet;
  }
  return answer;
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("kv-http-" + std::to_string(platform::ExecutablePath().size()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::Root() const {
  return AddTrailingDelimiter(path_.string(), platform::PathSeparator());
}

void TempFolder::Write(const std::string& relative, const std::string& content) const {
  std::filesystem::path file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

TestServer::TestServer(const std::string& root, HttpSettings settings, const TServedTexts* texts) {
  daemon_ = std::make_unique<TTCPHttpDaemon>(root, "0", events_, settings, texts != nullptr ? *texts : no_texts_,
                                             EmbeddedFiles());
  port_ = events_.WaitStarted();
  if (port_.empty()) ADD_FAILURE() << "the daemon did not start";
}

std::string PatternBytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

}  // namespace kv::test

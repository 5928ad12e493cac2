#pragma once
// In-process helpers for the HTTP tests: a recording event sink and core log, a fake
// collection, a daemon on a free loopback port in a temporary program folder, and a
// client that sends raw bytes and reads the whole answer.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/core_log_writer.h"
#include "http/block_socket.h"
#include "http/http_daemon.h"
#include "served/served_content.h"

namespace kv::test {

class RecordingEvents : public HttpServiceEvents {
 public:
  void LogStartMessage(bool store, const std::string& address, const std::string& port) override {
    std::lock_guard<std::mutex> g(lock_);
    starts_.push_back({store, address, port});
    wake_.notify_all();
  }
  void LogErrorMessage(const std::string& text) override {
    std::lock_guard<std::mutex> g(lock_);
    errors_.push_back(text);
    wake_.notify_all();
  }
  // Waits for a start or an error; returns the started port, "" after an error or time-out.
  std::string WaitStarted(int timeout_ms = 5000) {
    std::unique_lock<std::mutex> g(lock_);
    wake_.wait_for(g, std::chrono::milliseconds(timeout_ms),
                   [&] { return !starts_.empty() || !errors_.empty(); });
    return starts_.empty() ? std::string() : starts_.front().port;
  }
  std::vector<std::string> Errors() {
    std::lock_guard<std::mutex> g(lock_);
    return errors_;
  }
  std::string StartAddress() {
    std::lock_guard<std::mutex> g(lock_);
    return starts_.empty() ? std::string() : starts_.front().address;
  }

 private:
  struct Start {
    bool store;
    std::string address, port;
  };
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<Start> starts_;
  std::vector<std::string> errors_;
};

class CoreLogRecorder {
 public:
  CoreLogRecorder() {
    previous_ = SetCoreLogSink([this](const std::string& text) {
      std::lock_guard<std::mutex> g(lock_);
      lines_.push_back(text);
    });
  }
  ~CoreLogRecorder() { SetCoreLogSink(previous_); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> g(lock_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> g(lock_);
    lines_.clear();
  }
  bool Has(const std::string& line) {
    for (const std::string& l : Lines())
      if (l == line) return true;
    return false;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
  CoreLogSink previous_;
};

// Controller N's texts carry its number from 2 on ("RAW2 ", "drive2[0_1]"); controller 1's
// are the plain fields, as with one controller.
class FakeContent : public ServedContent {
 public:
  int controllers = 1;
  std::string main_page, config, report, zip;
  std::shared_ptr<const std::string> shared_main_page;  // when set, served instead of main_page
  std::shared_ptr<const std::string> bar;                // the controller bar, put in at bar_at
  std::size_t bar_at = 0;
  TArchiveSources archive;  // controller 1's; others get their number in the config text
  int ControllerCountLocked() const override { return controllers; }
  TSharedPage MainPageLocked(int controller) const override {
    TSharedPage page{shared_main_page, bar_at, bar};
    if (!page.page) page.page = std::make_shared<const std::string>(main_page + Suffix(controller));
    return page;
  }
  std::string ConfigTextLocked(int controller) const override { return config + Suffix(controller); }
  std::string ReportTextLocked(int controller) const override { return report + Suffix(controller); }
  std::string DrivePageLocked(int controller, const std::string& key) const override {
    return "drive" + Suffix(controller) + "[" + key + "]";
  }
  TArchiveSources ArchiveSourcesLocked(int controller) const override {
    TArchiveSources sources = archive;
    if (controller > 1) sources.texts[TArchiveSources::kConfig] = std::make_shared<const std::string>(config + Suffix(controller));
    return sources;
  }

 private:
  static std::string Suffix(int controller) { return controller == 1 ? std::string() : std::to_string(controller); }
};

struct Response {
  bool answered = false;  // anything came back before the close
  std::string status_line;
  std::vector<std::string> headers;
  std::string body;
  std::string raw;
  std::string Header(const std::string& name) const;  // value of the first such header
};

Response ParseResponse(const std::string& raw);

// Connects to 127.0.0.1:port, sends `request`, reads until the server closes.
std::string Exchange(const std::string& port, const std::string& request, int timeout_ms = 10000);

// A program folder in the temporary directory, removed at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }
  std::string Root() const;  // with the trailing separator
  void Write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// A daemon on a free port serving `folder`, and the collection's texts of `texts` (none:
// nothing is collected).
class TestServer {
 public:
  explicit TestServer(const std::string& root, HttpSettings settings = HttpSettings(),
                      const TServedTexts* texts = nullptr);
  const std::string& port() const { return port_; }
  RecordingEvents& events() { return events_; }

 private:
  RecordingEvents events_;
  TServedTexts no_texts_;
  std::unique_ptr<TTCPHttpDaemon> daemon_;
  std::string port_;
};

std::string PatternBytes(std::size_t size);

}  // namespace kv::test

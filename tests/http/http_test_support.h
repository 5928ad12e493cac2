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
#include "collect/served_content.h"
#include "http/block_socket.h"
#include "http/http_daemon.h"

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

class FakeContent : public ServedContent {
 public:
  std::string main_page, config, report, zip;
  std::shared_ptr<const std::string> shared_main_page;  // when set, served instead of main_page
  std::string MainPageLocked() const override { return main_page; }
  std::shared_ptr<const std::string> SharedMainPageLocked() const override { return shared_main_page; }
  std::string ConfigTextLocked() const override { return config; }
  std::string ReportTextLocked() const override { return report; }
  std::string DrivePageLocked(const std::string& key) const override { return "drive[" + key + "]"; }
  void BuildSupportArchiveLocked(std::string& out) const override { out = zip; }
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

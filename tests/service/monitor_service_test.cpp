#include "service/monitor_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "service/service_config.h"
#include "service/temp_folder.h"

namespace kv {
namespace {

using platform::EventType;

struct Record {
  EventType type;
  std::string text;
  std::thread::id thread;
};

class RecordingSink : public platform::EventLogSink {
 public:
  void Report(EventType type, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    records.push_back({type, text, std::this_thread::get_id()});
  }
  std::mutex mutex;
  std::vector<Record> records;
};

class LoopThread {
 public:
  LoopThread() : thread_([this] { loop.Run(); }) {
    // Wait until the loop runs so its thread id is known.
    loop.Synchronize([this] { id = std::this_thread::get_id(); });
  }
  ~LoopThread() {
    loop.Quit();
    thread_.join();
  }
  platform::MainLoop loop;
  std::thread::id id;

 private:
  std::thread thread_;
};

TEST(MonitorService, ListenerEventsRunOnTheMainThread) {
  RecordingSink sink;
  LoopThread main_thread;
  TKorvaneMonitorHTTPServer service(sink, "", main_thread.loop);
  HttpServiceEvents& listener_side = service;
  std::thread listener([&] {
    listener_side.LogStartMessage(true, "10.1.2.3", "8080");
    listener_side.LogErrorMessage("Can't bind");
  });
  listener.join();
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].text, StartEventText("10.1.2.3", "8080"));
  EXPECT_EQ(sink.records[1].type, EventType::kError);
  for (const Record& r : sink.records) EXPECT_EQ(r.thread, main_thread.id);
}

TEST(MonitorService, StartWithHttpOffAnnouncesTwiceAndStopFreesTheManager) {
  testing::TempFolder dir;
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("config_http.txt"), "[http]\r\nuse=0\r\n[scaner]\r\ntimeout=5\r\n"));
  RecordingSink sink;
  LoopThread main_thread;
  const auto cwd = std::filesystem::current_path();
  {
    TKorvaneMonitorHTTPServer service(sink, dir.Folder(), main_thread.loop);
    service.ServiceStart();
    EXPECT_FALSE(service.UseHttp());
    service.ServiceStop();
    service.ServiceStop();  // a second stop finds no manager to free
  }
  std::filesystem::current_path(cwd);
  std::vector<std::string> texts;
  for (const Record& r : sink.records) texts.push_back(r.text);
  const std::string start = StartEventText(kNoServerAddress, kNoServerPort);
  EXPECT_EQ(texts, (std::vector<std::string>{start, start, StopEventText(), StopEventText()}));
}

TEST(MonitorService, UnreadableConfigurationFailsTheStartWithoutEvents) {
  testing::TempFolder dir;
  std::filesystem::create_directory(dir.Path() / "config_http.txt");
  RecordingSink sink;
  LoopThread main_thread;
  TKorvaneMonitorHTTPServer service(sink, dir.Folder(), main_thread.loop);
  EXPECT_THROW(service.ServiceStart(), ConfigReadError);
  EXPECT_TRUE(sink.records.empty());
  service.ServiceStop();
}

}  // namespace
}  // namespace kv

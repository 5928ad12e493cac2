#include "service/monitor_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "base/core_log_writer.h"
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

TEST(MonitorService, ListenerEventsAreWrittenOnTheCallingThread) {
  // They once waited for the main loop, which the first collection holds while its source
  // runs: the server stayed dark until then. No loop runs here, so a wait would hang.
  RecordingSink sink;
  platform::MainLoop loop;  // never run: nothing here may wait for it
  TKorvaneMonitorHTTPServer service(sink, "", loop);
  HttpServiceEvents& listener_side = service;
  std::thread::id listener_id;
  std::thread listener([&] {
    listener_id = std::this_thread::get_id();
    listener_side.LogStartMessage(true, "10.1.2.3", "8080");
    listener_side.LogErrorMessage("Can't bind");
  });
  listener.join();
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].text, StartEventText("10.1.2.3", "8080"));
  EXPECT_EQ(sink.records[1].type, EventType::kError);
  for (const Record& r : sink.records) EXPECT_EQ(r.thread, listener_id);
}

TEST(MonitorService, SocketLibraryThatCannotBeLoadedFailsTheStart) {
  RecordingSink sink;
  platform::MainLoop loop;
  TKorvaneMonitorHTTPServer service(sink, "", loop, [] { return false; });
  try {
    service.ServiceStart();
    FAIL() << "the start went on without the socket library";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Error loading Socket interface (ws2_32.dll)!");
  }
  EXPECT_TRUE(sink.records.empty());  // the framework writes the error event
  service.ServiceStop();
}

TEST(MonitorService, StartWithHttpOffAnnouncesTwiceAndStopFreesTheManager) {
  testing::TempFolder dir;
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("config_http.txt"),
                                       "[http]\r\nuse=0\r\nport=70000\r\n[scaner]\r\ntimeout=5\r\n"));
  std::vector<std::string> log;
  const CoreLogSink previous = SetCoreLogSink([&](const std::string& line) { log.push_back(line); });
  RecordingSink sink;
  const auto cwd = std::filesystem::current_path();
  {
    platform::MainLoop loop;
    TKorvaneMonitorHTTPServer service(sink, dir.Folder(), loop);
    service.ServiceStart();
    EXPECT_FALSE(service.UseHttp());
    service.ServiceStop();
    service.ServiceStop();  // a second stop finds no manager to free
  }
  std::filesystem::current_path(cwd);
  SetCoreLogSink(previous);
  EXPECT_EQ(std::count(log.begin(), log.end(), "ERROR! [http] port=70000 is outside 1..65535, using 31313"), 1);
  std::vector<std::string> texts;
  for (const Record& r : sink.records) texts.push_back(r.text);
  const std::string start = StartEventText(kNoServerAddress, kNoServerPort);
  EXPECT_EQ(texts, (std::vector<std::string>{start, start, StopEventText(), StopEventText()}));
}

TEST(MonitorService, UnreadableConfigurationFailsTheStartWithoutEvents) {
  testing::TempFolder dir;
  std::filesystem::create_directory(dir.Path() / "config_http.txt");
  RecordingSink sink;
  platform::MainLoop loop;
  TKorvaneMonitorHTTPServer service(sink, dir.Folder(), loop);
  EXPECT_THROW(service.ServiceStart(), ConfigReadError);
  EXPECT_TRUE(sink.records.empty());
  service.ServiceStop();
}

}  // namespace
}  // namespace kv

#include "service/service_events.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/event_log.h"
#include "platform/service_control.h"

namespace kv {
namespace {

using platform::EventType;

class RecordingSink : public platform::EventLogSink {
 public:
  void Report(EventType type, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    records.emplace_back(type, text);
  }
  std::mutex mutex;
  std::vector<std::pair<EventType, std::string>> records;
};

const std::string kStartNoHttp =
    "Starting \"Korvane Monitor HTTP Server\"\r\nHTTP Server: Dont use server:disable";

TEST(ServiceEvents, TextsAreByteExact) {
  EXPECT_EQ(StartEventText("10.0.0.5", "31313"),
            "Starting \"Korvane Monitor HTTP Server\"\r\nHTTP Server: 10.0.0.5:31313");
  EXPECT_EQ(StopEventText(), "Stoping \"Korvane Monitor HTTP Server\"");
  // Windows-1251 description: 55 bytes, Cyrillic letters as single bytes.
  const std::string description = kServiceDescription;
  EXPECT_EQ(description.size(), 55u);
  EXPECT_EQ(description.substr(0, 6), "\xD1\xEB\xF3\xE6\xE1\xE0");
  EXPECT_NE(description.find(" RAID-\xEA"), std::string::npos);
  EXPECT_EQ(description.substr(description.size() - 8), " Korvane");
}

TEST(ServiceEvents, StartWithHttpOffWritesTheNoServerEventTwice) {
  RecordingSink sink;
  TServiceEventWriter writer(sink);
  writer.AnnounceStart(false);
  ASSERT_EQ(sink.records.size(), 2u);
  for (const auto& record : sink.records) {
    EXPECT_EQ(record.first, EventType::kInformation);
    EXPECT_EQ(record.second, kStartNoHttp);
  }
}

TEST(ServiceEvents, StartEventNeedsBothAddressAndPort) {
  struct Step {
    bool store;
    const char* address;
    const char* port;
    bool written;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"nothing stored", {{false, "", "", false}}},
      {"address only", {{true, "1.2.3.4", "", false}, {false, "", "", false}}},
      {"stored then repeated", {{true, "1.2.3.4", "80", true}, {false, "x", "y", true}}},
      {"cleared by a later store", {{true, "1.2.3.4", "80", true}, {true, "", "80", false}}},
  };
  for (const Row& row : rows) {
    RecordingSink sink;
    TServiceEventWriter writer(sink);
    size_t expected = 0;
    for (const Step& step : row.steps) {
      writer.LogStartMessage(step.store, step.address, step.port);
      expected += step.written ? 1 : 0;
      ASSERT_EQ(sink.records.size(), expected) << row.name;
      if (step.written) EXPECT_EQ(sink.records.back().second, StartEventText("1.2.3.4", "80")) << row.name;
    }
  }
}

TEST(ServiceEvents, ListenerAddressStoredAfterTheResetIsAnnouncedAgain) {
  RecordingSink sink;
  TServiceEventWriter writer(sink);
  // The listener stored its address before the start finished: the reset forgets it.
  writer.LogStartMessage(true, "10.0.0.5", "31313");
  writer.AnnounceStart(true);
  EXPECT_EQ(sink.records.size(), 1u);
  // Stored after the reset (the listener came up late): only its own event.
  writer.LogStartMessage(true, "10.0.0.5", "31313");
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[1].second, StartEventText("10.0.0.5", "31313"));
}

TEST(ServiceEvents, ErrorAndStopRecordsCarryTheirTypes) {
  RecordingSink sink;
  TServiceEventWriter writer(sink);
  writer.LogErrorMessage("Can't bind\r\nport 80");
  writer.LogStopMessage();
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0], std::make_pair(EventType::kError, std::string("Can't bind\r\nport 80")));
  EXPECT_EQ(sink.records[1], std::make_pair(EventType::kInformation, StopEventText()));
}

TEST(ServiceEvents, ConcurrentStoresNeverProduceAMixedPair) {
  RecordingSink sink;
  TServiceEventWriter writer(sink);
  std::thread a([&] {
    for (int i = 0; i < 2000; ++i) writer.LogStartMessage(true, "aaaa", "1111");
  });
  std::thread b([&] {
    for (int i = 0; i < 2000; ++i) writer.LogStartMessage(true, "bbbb", "2222");
  });
  a.join();
  b.join();
  for (const auto& record : sink.records) {
    EXPECT_TRUE(record.second == StartEventText("aaaa", "1111") || record.second == StartEventText("bbbb", "2222"))
        << record.second;
  }
}

TEST(JournalLine, OneLinePerRecordWithPriorityPrefix) {
  struct Row {
    EventType type;
    const char* text;
    const char* expected;
  } rows[] = {
      {EventType::kInformation, "Starting \"X\"\r\nHTTP Server: a:1", "<6>Starting \"X\" / HTTP Server: a:1\n"},
      {EventType::kError, "bad", "<3>bad\n"},
      {EventType::kWarning, "Logical device 0: Optimal -> Degraded", "<4>Logical device 0: Optimal -> Degraded\n"},
      {EventType::kError, "", "<3>\n"},
      {EventType::kInformation, "a\nb\rc\r\n\r\nd", "<6>a / b / c /  / d\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(platform::JournalLine(row.type, row.text), row.expected) << row.text;
}

TEST(ServiceCommandLine, SwitchesWithSlashOrDashInAnyCase) {
  using platform::ServiceAction;
  struct Row {
    std::vector<std::string> args;
    ServiceAction action;
    bool silent;
  } rows[] = {
      {{}, ServiceAction::kRun, false},
      {{"/INSTALL"}, ServiceAction::kInstall, false},
      {{"-install", "/Silent"}, ServiceAction::kInstall, true},
      {{"/uninstall", "-SILENT"}, ServiceAction::kUninstall, true},
      {{"/UNINSTALL", "/INSTALL"}, ServiceAction::kInstall, false},  // install wins
      {{"INSTALL", "--install", "/installx", "/", "-"}, ServiceAction::kRun, false},
      {{"/silent"}, ServiceAction::kRun, true},
  };
  for (const Row& row : rows) {
    platform::ServiceCommandLine command = platform::ParseServiceCommandLine(row.args);
    EXPECT_EQ(command.action, row.action) << ::testing::PrintToString(row.args);
    EXPECT_EQ(command.silent, row.silent) << ::testing::PrintToString(row.args);
  }
}

}  // namespace
}  // namespace kv

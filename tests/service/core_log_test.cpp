#include "service/core_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/core_log_writer.h"
#include "collect/collect_test_support.h"
#include "platform/files.h"
#include "platform/write_failures.h"
#include "service/temp_folder.h"

namespace kv {
namespace {

std::string ReadAll(const std::string& path) {
  std::string text;
  platform::ReadWholeFile(path, text);
  return text;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(text.substr(pos, end - pos));
  EXPECT_EQ(pos, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(CoreLog, TimestampIsDayMonthYearWithTheGivenSeparators) {
  struct Row {
    platform::LocalDateTime t;
    char date_sep, time_sep;
    const char* expected;
  } rows[] = {
      {{2026, 12, 8, 7, 27, 0}, '.', ':', "08.12.2026 07:27:00"},
      {{2026, 1, 31, 23, 5, 9}, '/', ':', "31/01/2026 23:05:09"},
      {{999, 2, 3, 0, 0, 0}, '-', '.', "03-02-0999 00.00.00"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FormatCoreLogTimestamp(row.t, row.date_sep, row.time_sep), row.expected);
}

// The service writes the file by its path; the restart program is handed its name.
TEST(CoreLog, FileNameIsTheExecutableNameWithoutExtension) {
  struct Row {
    const char* exe;
    const char* path;
    const char* name;
  } rows[] = {
      {"C:\\Monitor\\monitor.exe", "C:\\Monitor\\monitor_core_log.txt", "monitor_core_log.txt"},
      {"/opt/kv/korvane_monitor", "/opt/kv/korvane_monitor_core_log.txt", "korvane_monitor_core_log.txt"},
      // a dot in the folder only
      {"/opt/kv.d/korvane_monitor", "/opt/kv.d/korvane_monitor_core_log.txt", "korvane_monitor_core_log.txt"},
      {"C:\\a\\x.y.exe", "C:\\a\\x.y_core_log.txt", "x.y_core_log.txt"},  // the last dot only
      {"D:monitor.exe", "D:monitor_core_log.txt", "monitor_core_log.txt"},  // a drive without folder
      {"monitor", "monitor_core_log.txt", "monitor_core_log.txt"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CoreLogFileFor(row.exe), row.path) << row.exe;
    EXPECT_EQ(CoreLogFileName(row.exe), row.name) << row.exe;
  }
}

TEST(CoreLog, EachStartBeginsAFreshFileAndEntriesFollowTheBracketedTimestamp) {
  testing::TempFolder dir;
  const std::string path = dir.File("monitor_core_log.txt");
  TGDLogger first(path, [] { return std::string("01/01/2026 00:00:00"); });
  first.WriteStartLine();
  first.Write("first run");

  TGDLogger second(path, [] { return std::string("02/01/2026 10:11:12"); });
  second.WriteStartLine();
  second.Write("Webserver starting on 127.0.0.1:31313");
  EXPECT_EQ(ReadAll(path),
            "[Start] 02/01/2026 10:11:12\r\n"
            "[02/01/2026 10:11:12] Webserver starting on 127.0.0.1:31313\r\n");
}

TEST(CoreLog, DeletedFileIsRecreatedWithoutStartLineAndTextsAreWrittenUnchanged) {
  testing::TempFolder dir;
  const std::string path = dir.File("m_core_log.txt");
  TGDLogger log(path, [] { return std::string("T"); });
  log.WriteStartLine();
  ASSERT_TRUE(platform::RemoveFileAt(path));
  log.Write("after delete");
  log.Write("two\r\nlines");
  log.Write(std::string("\xC4\xE8\xF1\xEA", 4));  // Windows-1251 bytes pass through
  EXPECT_EQ(SplitCrLf(ReadAll(path)),
            (std::vector<std::string>{"[T] after delete", "[T] two", "[T] lines", "[T] \xC4\xE8\xF1\xEA"}));
}

// A command's output quoted in an entry cannot forge lines or carry terminal controls:
// each of its lines is an entry of its own, blank lines are left out, and control
// characters other than tab are written as \xHH.
TEST(CoreLog, EachLineOfATextIsAnEntryWithControlCharactersEscaped) {
  struct Row {
    std::string text;
    std::vector<std::string> entries;
  } rows[] = {
      {"Webserver starting on 127.0.0.1:31313", {"[T] Webserver starting on 127.0.0.1:31313"}},
      {"", {"[T] "}},
      {"\r\n\n", {"[T] "}},
      {"ERROR! ExecuteConsoleProcess=false\r\n\r\nout 1\nout 2\r\n",
       {"[T] ERROR! ExecuteConsoleProcess=false", "[T] out 1", "[T] out 2"}},
      {"50%\r100%", {"[T] 50%", "[T] 100%"}},
      {"forged\r\n[01/01/2026 00:00:00] Webserver starting", {"[T] forged", "[T] [01/01/2026 00:00:00] Webserver starting"}},
      {std::string("a\tb\x07\x1B[31m\x7F\0z", 12), {"[T] a\tb\\x07\\x1B[31m\\x7F\\x00z"}},
  };
  for (const Row& row : rows) {
    testing::TempFolder dir;
    const std::string path = dir.File("e_core_log.txt");
    TGDLogger log(path, [] { return std::string("T"); });
    log.Write(row.text);
    EXPECT_EQ(SplitCrLf(ReadAll(path)), row.entries) << row.text;
  }
}

// Past 1 MiB the log goes on in a new file and the old one is kept beside it; a rotation
// that fails is told once and the log goes on in the file it has.
TEST(CoreLog, RotatesAtOneMebibyteIntoOneOldFile) {
  testing::TempFolder dir;
  const std::string path = dir.File("r_core_log.txt");
  const std::string old_path = dir.File("r_core_log.old.txt");
  test::LogRecorder recorder;
  TGDLogger log(path, [] { return std::string("T"); });
  log.WriteStartLine();
  const std::string entry(1000, 'e');
  const size_t per_file = TGDLogger::kRotateBytes / (entry.size() + 6);
  for (size_t i = 0; i < per_file + 1; ++i) log.Write(entry);
  const std::vector<std::string> old_lines = SplitCrLf(ReadAll(old_path));
  ASSERT_EQ(old_lines.size(), per_file + 1);
  EXPECT_EQ(old_lines[0], "[Start] T");
  EXPECT_EQ(SplitCrLf(ReadAll(path)), std::vector<std::string>{"[T] " + entry});

  platform::RemoveFileAt(old_path);
  std::filesystem::create_directories(dir.Path() / "r_core_log.old.txt" / "x");
  for (size_t i = 0; i < per_file + 10; ++i) log.Write(entry);
  EXPECT_EQ(SplitCrLf(ReadAll(path)).size(), per_file + 11);
  ASSERT_EQ(recorder.Lines().size(), 1u);
  EXPECT_EQ(recorder.Lines()[0].rfind("ERROR! Cannot write r_core_log.old.txt: ", 0), 0u) << recorder.Lines()[0];
  std::filesystem::remove_all(dir.Path() / "r_core_log.old.txt");
  log.Write(entry);
  EXPECT_EQ(recorder.Lines().back(), "r_core_log.old.txt is written again");
  EXPECT_EQ(SplitCrLf(ReadAll(path)).size(), 1u);
}

// The core log cannot write about its own failure: the event record tells it, once; the
// first entry that is written again is followed by the line that says so.
TEST(CoreLog, ItsOwnFailureIsToldOnTheEventLogOnce) {
  testing::TempFolder dir;
  const std::string path = dir.File("f_core_log.txt");
  std::filesystem::create_directories(dir.Path() / "f_core_log.txt" / "x");
  test::EventRecorder events;
  TGDLogger log(path, [] { return std::string("T"); });
  const CoreLogSink previous = SetCoreLogSink([&log](const std::string& text) { log.Write(text); });
  log.WriteStartLine();
  log.Write("lost");
  log.Write("lost too");
  ASSERT_EQ(events.Records().size(), 1u);
  EXPECT_EQ(events.Records()[0].rfind("2 72 Cannot write f_core_log.txt: ", 0), 0u) << events.Records()[0];
  EXPECT_EQ(test::WriteWarning("f_core_log.txt"), events.Records()[0].substr(5));
  std::filesystem::remove_all(dir.Path() / "f_core_log.txt");
  log.Write("back");
  SetCoreLogSink(previous);
  EXPECT_EQ(SplitCrLf(ReadAll(path)), (std::vector<std::string>{"[T] back", "[T] f_core_log.txt is written again"}));
  EXPECT_EQ(events.Records().back(), "4 73 f_core_log.txt is written again");
  EXPECT_EQ(test::WriteWarning("f_core_log.txt"), "");
}

TEST(CoreLog, UnwritableLocationLosesLinesWithoutFailing) {
  testing::TempFolder dir;
  // A path whose folder does not exist can never be created or appended to.
  TGDLogger log(dir.File("missing/sub/x_core_log.txt"));
  log.WriteStartLine();
  log.Write("lost");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
  // A timestamp source that throws must not escape either.
  TGDLogger throwing(dir.File("t_core_log.txt"), []() -> std::string { throw std::runtime_error("clock"); });
  throwing.WriteStartLine();
  throwing.Write("lost too");
  SUCCEED();
}

TEST(CoreLog, ConcurrentWritersNeverInterleaveWithinALine) {
  testing::TempFolder dir;
  const std::string path = dir.File("c_core_log.txt");
  TGDLogger log(path, [] { return std::string("T"); });
  log.WriteStartLine();
  constexpr int kThreads = 8;
  constexpr int kLines = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      const std::string payload(40 + t * 7, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) log.Write(std::to_string(t) + ":" + std::to_string(i) + ":" + payload);
    });
  }
  for (auto& th : threads) th.join();

  std::vector<std::string> lines = SplitCrLf(ReadAll(path));
  ASSERT_EQ(lines.size(), 1u + kThreads * kLines);
  std::vector<int> next(kThreads, 0);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_EQ(line.rfind("[T] ", 0), 0u) << line;
    int t = line[4] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    // Each thread's lines appear whole and in its own order.
    const std::string expected = std::to_string(t) + ":" + std::to_string(next[t]++) + ":" +
                                 std::string(40 + t * 7, static_cast<char>('a' + t));
    ASSERT_EQ(line.substr(4), expected);
  }
}

TEST(CoreLog, ProcessLogIsTheSinkOfWriteCoreLogUntilItEnds) {
  StartCoreLog();
  const std::string path = CoreLogPath();
  ASSERT_FALSE(path.empty());
  WriteCoreLog("through the sink");
  EndCoreLog();
  WriteCoreLog("after the end");
  EXPECT_TRUE(CoreLogPath().empty());
  std::vector<std::string> lines = SplitCrLf(ReadAll(path));
  platform::RemoveFileAt(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("[Start] ", 0), 0u);
  const std::string tail = "] through the sink";
  ASSERT_GT(lines[1].size(), tail.size());
  EXPECT_EQ(lines[1].substr(lines[1].size() - tail.size()), tail);
  EXPECT_EQ(lines[1][0], '[');
}

}  // namespace
}  // namespace kv

#include "collect/source_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "collect/collect_test_support.h"

namespace kv {
namespace {

using platform::ConsoleProcessResult;
using test::ChildProgram;
using test::LogRecorder;
using test::ScratchFolder;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

TEST(SourceKind, ExtensionDecidesBetweenFileAndCommand) {
  struct Row {
    const char* source;
    const char* extension;
    bool file;
  };
  const Row rows[] = {
      {"get_config.txt", ".txt", true},
      {"C:\\Saved\\GET_CONFIG.TXT", ".TXT", true},
      {"saved.Txt", ".Txt", true},
      {"C:\\Tools\\util.exe /c0 show", ".exe /c0 show", false},
      {"C:\\out.txt\\util.exe /c0", ".exe /c0", false},
      {"C:\\dir.txt\\util /c0", "", false},          // a backslash follows the last '.'
      {"util /c0 /f:out.txt", ".txt", true},          // ends in an output file name
      {"util /f:out.txt /c0", ".txt /c0", false},
      {"c:.txt", ".txt", true},
      {"util x.txt:stream", "", false},               // a colon follows the last '.'
      {"util", "", false},
      {"", "", false},
      {".", ".", false},
      {"get_config.txt ", ".txt ", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SourceExtension(row.source), row.extension) << row.source;
    EXPECT_EQ(IsFileSource(row.source), row.file) << row.source;
  }
}

TEST(SourceFile, LinesComeBackWithCrLfAfterEach) {
  struct Row {
    std::string in, out;
  };
  const Row rows[] = {
      {"", ""},
      {"a", "a\r\n"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\r\nb\rc\n", "a\r\nb\r\nc\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"a\r\n\r\n", "a\r\n\r\n"},
      {"\r", "\r\n"},
      {"x\n\r", "x\r\n\r\n"},  // LF then a lone CR: two line ends
      {std::string("\xC0\xFF\0z", 4), std::string("\xC0\xFF\0z\r\n", 6)},
  };
  for (const Row& row : rows) EXPECT_EQ(JoinLinesCrLf(row.in), row.out) << row.in;
}

// Every case runs a real program (or reads a real file) through the platform runner.
TEST(ReadSource, RealSourcesGiveTheirTextAndLogLines) {
  ScratchFolder scratch;
  const std::string child = ChildProgram();
  ASSERT_TRUE(std::filesystem::exists(child)) << child;
  WriteBytes(scratch.File("SAVED.TXT"), "line one\nline two\n");
  std::filesystem::create_directories(scratch.path() / "tools.txt");
  const std::string child_in_txt_folder =
      (scratch.path() / "tools.txt" / std::filesystem::path(child).filename()).string();
  std::filesystem::copy_file(child, child_in_txt_folder);

  std::string all_bytes;
  for (int c = 0; c < 256; ++c)
    if (c != '\n') all_bytes += static_cast<char>(c);

  struct Row {
    const char* name;
    std::string source;
    std::string text;
    std::vector<std::string> log;
  };
  const std::vector<Row> rows = {
      {"upper-case .TXT is a file, LF lines come back with CR LF", scratch.File("SAVED.TXT"),
       "line one\r\nline two\r\n", {}},
      {"missing file gives nothing and says so", scratch.File("absent.txt"), "",
       {kUnreadableFileLine + scratch.File("absent.txt")}},
      {"program in a folder named .txt with arguments is a command",
       Quoted(child_in_txt_folder) + " out from-folder", "from-folder", {}},
      {"command line ending in a .txt argument is a file source, not run",
       Quoted(child) + " out ran " + scratch.File("out.txt"), "",
       {kUnreadableFileLine + Quoted(child) + " out ran " + scratch.File("out.txt")}},
      {"standard error alone is captured", Quoted(child) + " err only-stderr", "only-stderr", {}},
      {"output is taken byte for byte", Quoted(child) + " bytes", all_bytes, {}},
      {"a command without output logs str=null", Quoted(child) + " silent", "", {kEmptySourceLine}},
      {"a program that does not exist logs =false with nothing behind",
       Quoted(scratch.File("no_such_program")) + " arg", "", {"ERROR! ExecuteConsoleProcess=false\r\n\r\n"}},
  };
  for (const Row& row : rows) {
    LogRecorder log;
    std::string text = "stale";
    ReadSource(row.source, text, SourceReadOptions{});
    EXPECT_EQ(text, row.text) << row.name;
    EXPECT_EQ(log.Lines(), row.log) << row.name;
  }
}

TEST(ReadSource, OverlongCommandIsNotRun) {
  int runs = 0;
  SourceReadOptions options;
  options.runner = [&](const std::string&, const platform::ConsoleProcessLimits&, std::string&) {
    ++runs;
    return ConsoleProcessResult::kCompleted;
  };
  LogRecorder log;
  std::string text;
  ReadSource("util " + std::string(254, 'a'), text, options);  // 259 characters: runs
  EXPECT_EQ(runs, 1);
  ReadSource("util " + std::string(255, 'a'), text, options);  // 260: refused
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(log.Lines().size(), 2u);  // str=null of the first, the refusal of the second
  EXPECT_NE(log.Lines()[1].find("longer than 259"), std::string::npos) << log.Lines()[1];
}

// The runner's result decides the log lines; a runner that throws counts as a failed run
// that keeps what it captured.
TEST(ReadSource, EachRunResultLogsItsLines) {
  struct Row {
    const char* name;
    ConsoleProcessResult result;
    bool raise;
    std::string output;
    std::string text;
    std::vector<std::string> starts;  // each logged line starts with this
  };
  const std::string failed = "ERROR! ExecuteConsoleProcess=false\r\n\r\n";
  const std::vector<Row> rows = {
      {"completed", ConsoleProcessResult::kCompleted, false, "data", "data", {}},
      {"completed empty", ConsoleProcessResult::kCompleted, false, "", "", {kEmptySourceLine}},
      {"start failed", ConsoleProcessResult::kStartFailed, false, "", "", {failed}},
      {"read failed keeps partial", ConsoleProcessResult::kReadFailed, false, "part", "part", {failed + "part"}},
      {"timed out keeps partial", ConsoleProcessResult::kTimedOut, false, "so far", "so far",
       {failed + "so far", "ERROR! source_timeout of 2 s passed"}},
      {"capped keeps the start", ConsoleProcessResult::kOutputCapped, false, "head", "head",
       {"ERROR! source output over 1000 bytes"}},
      {"runner throws", ConsoleProcessResult::kCompleted, true, "half", "half", {failed + "half"}},
  };
  for (const Row& row : rows) {
    SourceReadOptions options;
    options.limits.timeout_ms = 2000;
    options.limits.max_output = 1000;
    options.runner = [&](const std::string&, const platform::ConsoleProcessLimits&, std::string& out) {
      out = row.output;
      if (row.raise) throw std::runtime_error("broken");
      return row.result;
    };
    LogRecorder log;
    std::string text;
    ReadSource("util /c0", text, options);
    EXPECT_EQ(text, row.text) << row.name;
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), row.starts.size()) << row.name;
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(lines[i].substr(0, row.starts[i].size()), row.starts[i]) << row.name;
  }
}

TEST(ReadSource, FailedOutputIsLoggedOnlyInPart) {
  SourceReadOptions options;
  options.runner = [](const std::string&, const platform::ConsoleProcessLimits&, std::string& out) {
    out.assign(1 << 20, 'z');
    return ConsoleProcessResult::kReadFailed;
  };
  LogRecorder log;
  std::string text;
  ReadSource("util", text, options);
  EXPECT_EQ(text.size(), size_t{1} << 20);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_LT(log.Lines()[0].size(), kLoggedOutputLimit + 200);
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

// A command that runs for ever and starts a child that does too; each appends to its own
// heartbeat file (`first` and `first` + ".child").
std::string EndlessTree(const std::string& first) {
  const std::string child = ChildProgram(), second = first + ".child";
  return test::IsWindowsBuild() ? Quoted(child) + " tree " + Quoted(first)
                                : Quoted(child) + " beat " + Quoted(second) + " & " + Quoted(child) + " beat " +
                                      Quoted(first);
}

// Both ran, and neither runs any more: their heartbeat files have stopped growing.
void ExpectTreeEnded(const std::string& first) {
  const std::string second = first + ".child";
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const int64_t a1 = FileSize(first), b1 = FileSize(second);
  EXPECT_GT(a1, 0) << "the command itself never ran";
  EXPECT_GT(b1, 0) << "the command's child never ran";
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(FileSize(first), a1) << "the command is still running";
  EXPECT_EQ(FileSize(second), b1) << "the command's child is still running";
}

// A command that never closes its output is ended after the time-out, and so is every
// process it started.
TEST(ConsoleProcess, StuckCommandAndItsChildrenAreEnded) {
  ScratchFolder scratch;
  const std::string first = scratch.File("beat1");
  platform::ConsoleProcessLimits limits;
  limits.timeout_ms = 1500;
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::RunConsoleProcess(EndlessTree(first), limits, output), ConsoleProcessResult::kTimedOut);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(1400));
  EXPECT_LT(took, std::chrono::seconds(10));
  ExpectTreeEnded(first);
}

// A service stop once waited for a hung command up to its whole time-out: a cancel from
// another thread ends the command and its children long before it, and a cancelled token
// starts nothing more.
TEST(ConsoleProcess, CancelEndsTheRunningCommandAndItsChildren) {
  ScratchFolder scratch;
  const std::string first = scratch.File("beat1");
  platform::ConsoleProcessCancel cancel;
  platform::ConsoleProcessLimits limits;
  limits.timeout_ms = 600 * 1000;
  limits.cancel = &cancel;
  std::thread stopper([&] {
    // Cancel once both processes have beaten, bounded in case they never do.
    for (int i = 0; i < 200 && (FileSize(first) <= 0 || FileSize(first + ".child") <= 0); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Cancel();
  });
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::RunConsoleProcess(EndlessTree(first), limits, output), ConsoleProcessResult::kCancelled);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  ExpectTreeEnded(first);

  const std::string again = scratch.File("beat2");
  EXPECT_EQ(platform::RunConsoleProcess(EndlessTree(again), limits, output), ConsoleProcessResult::kCancelled);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(FileSize(again), 0) << "a cancelled token started a command";
}

TEST(ConsoleProcess, HugeOutputIsCappedAndTheCommandEnded) {
  platform::ConsoleProcessLimits limits;  // the production cap
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::RunConsoleProcess(Quoted(ChildProgram()) + " flood 100", limits, output),
            ConsoleProcessResult::kOutputCapped);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  std::printf("captured %zu bytes in %lld ms\n", output.size(), static_cast<long long>(ms));
  EXPECT_EQ(output.size(), size_t{64} << 20);
  EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);
}

}  // namespace
}  // namespace kv

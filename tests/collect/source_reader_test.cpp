#include "collect/source_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "platform/codepage.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "collect/collect_test_support.h"
#include "collect/source_completeness.h"
#include "notify/notify_command.h"

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
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\r\n\rb\r\n", "a\r\n\r\nb\r\n"},  // ends in CR LF, with a lone CR inside
      {"a\nb\r\n", "a\r\nb\r\n"},
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
  // PowerShell's '>' writes UTF-16 with a byte-order mark; characters the code page lacks,
  // a surrogate pair among them, become one '?' each.
  WriteBytes(scratch.File("utf16le.txt"), std::string("\xFF\xFE" "A\0\n\0\x00\x4E\x3D\xD8\x00\xDE" "B\0", 14));
  WriteBytes(scratch.File("utf16be.txt"), std::string("\xFE\xFF\0A\0\n\0B", 8));
  const auto utf16_line = [&](const std::string& order, const std::string& name) {
    return "source text is UTF-16 " + order + ", converted to code page " + std::to_string(platform::AnsiCodePage()) +
           ": " + scratch.File(name);
  };
  const std::vector<Row> rows = {
      {"upper-case .TXT is a file, LF lines come back with CR LF", scratch.File("SAVED.TXT"),
       "line one\r\nline two\r\n", {}},
      {"UTF-16 LE is read as the text it holds", scratch.File("utf16le.txt"), "A\r\n??B\r\n",
       {utf16_line("LE", "utf16le.txt")}},
      {"UTF-16 BE too", scratch.File("utf16be.txt"), "A\r\nB\r\n",
       {utf16_line("BE", "utf16be.txt")}},
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
       Quoted(scratch.File("no_such_program")) + " arg", "",
       {"ERROR! ExecuteConsoleProcess=false\r\n\r\n", kProgramNotFoundLine + scratch.File("no_such_program")}},
  };
  for (const Row& row : rows) {
    LogRecorder log;
    std::string text = "stale";
    ReadSource(row.source, text, SourceReadOptions{});
    EXPECT_EQ(text, row.text) << row.name;
    EXPECT_EQ(log.Lines(), row.log) << row.name;
  }
}

TEST(SourceCompleteness, OutputThatStopsShortIsTold) {
  struct Row {
    const char* name;
    std::string text;
    bool listing_complete, xml_closed;
  };
  const Row rows[] = {
      {"listing with its completion line and blank lines", "Controllers found: 1\r\n\r\nCommand completed successfully.\r\n\r\n\r\n", true, false},
      {"completion line with blanks around it", "x\n  Command completed successfully. \t\n", true, false},
      {"listing cut inside a drive block", "Controllers found: 1\r\n      Device #5\r\n         State   : On", false, false},
      {"completion line not last", "Command completed successfully.\r\nDevice #1\r\n", false, false},
      {"completion line only as part of a line", "x: Command completed successfully.\r\n", false, false},
      {"empty", "", false, false},
      {"two roots, both closed, declaration and comment skipped",
       "<?xml version=\"1.0\"?>\r\n<!-- c <a> -->\r\n<A x=\"1\"><B y=\"a>b\" /></A>\r\n<C></C>\r\n", false, true},
      {"second root never closed", "<A></A>\r\n<C>\r\n<D/>", false, false},
      {"cut inside a tag", "<A><B x=\"1", false, false},
      {"cut inside a quoted value holding '>'", "<A><B x=\">", false, false},
      {"end tag without a start", "</A><A>", false, false},
      {"declaration alone", "<?xml version=\"1.0\"?>", false, false},
      {"self-closing root", "<A/>\r\n", false, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ListingComplete(row.text), row.listing_complete) << row.name;
    EXPECT_EQ(XmlElementsClosed(row.text), row.xml_closed) << row.name;
  }
}

#ifndef _WIN32
// A FIFO named as a saved source once hung the cycle in open() until something wrote to it.
TEST(ReadSource, FifoInPlaceOfASavedFileFailsAtOnce) {
  ScratchFolder scratch;
  const std::string fifo = scratch.File("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  LogRecorder log;
  std::string text;
  EXPECT_EQ(ReadSource(fifo, text, SourceReadOptions{}), SourceStatus::kFailed);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{kUnreadableFileLine + fifo});
}
#endif

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
      {"start failed names a program that is not there", ConsoleProcessResult::kStartFailed, false, "", "",
       {failed, kProgramNotFoundLine + std::string("util")}},
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

// Each ran, and none runs any more: their heartbeat files have stopped growing.
void ExpectBeatsEnded(const std::vector<std::string>& files) {
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  std::vector<int64_t> sizes;
  for (const std::string& file : files) {
    sizes.push_back(FileSize(file));
    EXPECT_GT(sizes.back(), 0) << file << " never ran";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(FileSize(files[i]), sizes[i]) << files[i] << " still runs";
}

void ExpectTreeEnded(const std::string& first) { ExpectBeatsEnded({first, first + ".child"}); }

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

// Background children once outlived a command that ended normally and piled up, one per
// cycle. Now none is left once the run returns, whether it kept the output open or not,
// and the command's own exit code is known. A child that kept the output open once held
// the run until the time-out: with the exit code asked for, the run now ends shortly after
// the command itself. A command that itself outlives the time-out still times out.
TEST(ConsoleProcess, BackgroundChildIsEndedWithTheRun) {
  using std::chrono::milliseconds;
  ScratchFolder scratch;
  struct Row {
    const char* name;
    const char* mode;   // kv_collect_child MODE FILE EXTRA
    const char* extra;
    bool exit_code;
    int64_t timeout_ms;
    ConsoleProcessResult result;
    int code;
    milliseconds at_least, below;
  } rows[] = {
      {"output closed", "spawn", "", false, 1500, ConsoleProcessResult::kCompleted, 0, milliseconds(0),
       milliseconds(10000)},
      {"output closed, exit code waited for", "spawn", "", true, 1500, ConsoleProcessResult::kCompleted, 0,
       milliseconds(0), milliseconds(10000)},
      {"output kept open", "spawn", " keep", true, 6000, ConsoleProcessResult::kCompleted, 0, milliseconds(0),
       milliseconds(4000)},
      {"command outlives the time-out", "beat", "", true, 1500, ConsoleProcessResult::kTimedOut, -1,
       milliseconds(1400), milliseconds(10000)},
  };
  for (const Row& row : rows) {
    const std::string beat = scratch.File(std::string("bg ") + row.name);
    platform::ConsoleProcessLimits limits;
    limits.timeout_ms = row.timeout_ms;
    int code = -2;
    if (row.exit_code) limits.exit_code = &code;
    std::string output;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::RunConsoleProcess(Quoted(ChildProgram()) + " " + row.mode + " " + Quoted(beat) + row.extra, limits,
                                          output),
              row.result)
        << row.name;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, row.at_least) << row.name;
    EXPECT_LT(took, row.below) << row.name;
    if (row.exit_code) EXPECT_EQ(code, row.code) << row.name;
    ExpectBeatsEnded({beat});
  }
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

std::string LineWith(const LogRecorder& log, const std::string& part) {
  for (const std::string& line : log.Lines())
    if (line.find(part) != std::string::npos) return line;
  return std::string();
}

const std::vector<TChange> kTwoChanges = {
    {TChangeKind::TaskStarted, TSeverity::Information, "Task 3: started (Rebuild)"},
    {TChangeKind::DriveFailed, TSeverity::Critical, "Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed"}};

// A problem message of `changes` made at `now` (UTC and local alike).
TNotifyMessage Problem(const std::string& verdict, const std::vector<TChange>& changes, int64_t now) {
  TNotifyMessage message;
  message.Verdict = verdict;
  message.Time = message.LocalTime = now;
  for (const TChange& change : changes) message.Changes.push_back(NotifyChangeOf(change, now, now));
  return message;
}

// The command sees the event, the verdict, the count, the summary and the message's change
// lines (CR LF, as in the changes file; a reminder's reasons instead) through its
// environment; the file is gone afterwards and the exit code and output reach the core
// log. The test switch's run gives the same to its caller and logs nothing.
TEST(NotifyCommand, GetsItsEnvironmentAndTheChangeLines) {
  TNotifyMessage reminder = Problem("Warning", {}, 1765249800);
  reminder.Event = TNotifyEvent::Reminder;
  reminder.Reasons = {{"Warning", "Drive 0,1 (S/N B2)", "Rebuild"}, {"Critical", "Drive 0,0 (S/N A1)", "Failed"}};
  struct Row {
    TNotifyMessage message;
    std::vector<std::string> parts;  // in the output
  } rows[] = {
      {Problem("Critical", kTwoChanges, 1765249800),
       {"KORVANE_EVENT=problem\n", "KORVANE_VERDICT=Critical\n", "KORVANE_CHANGE_COUNT=2\n",
        "KORVANE_SUMMARY=Critical: Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed (and 1 more change)\n",
        "\n2025-12-09 03:10:00 information Task 3: started (Rebuild)\r\n",
        " critical Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed\r\n"}},
      {reminder,
       {"KORVANE_EVENT=reminder\n", "KORVANE_VERDICT=Warning\n", "KORVANE_CHANGE_COUNT=0\n",
        "KORVANE_SUMMARY=Still Warning: Drive 0,0 (S/N A1): Failed (and 1 more finding)\n",
        "\nWarning Drive 0,1 (S/N B2): Rebuild\r\nCritical Drive 0,0 (S/N A1): Failed\r\n"}},
  };
  ScratchFolder scratch;
  TNotifySettings settings;
  settings.Command = Quoted(ChildProgram()) +
                     " env KORVANE_EVENT KORVANE_VERDICT KORVANE_CHANGE_COUNT KORVANE_SUMMARY @KORVANE_CHANGES_FILE";
  for (const Row& row : rows) {
    LogRecorder log;
    {
      TNotifyCommand notify(settings, scratch.path().string() + "/", nullptr);
      ASSERT_TRUE(notify.Submit(row.message));
      notify.Wait();
    }
    EXPECT_NE(LineWith(log, "notify: the command ended, exit code 3"), "");
    const std::string output = LineWith(log, "notify: output: ");
    for (const std::string& part : row.parts) EXPECT_NE(output.find(part), std::string::npos) << part << output;
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "the changes file was left behind";

    log.Clear();
    TNotifyCommand once(settings, scratch.path().string() + "/", nullptr);
    int exit_code = -1;
    std::string said;
    EXPECT_EQ(once.RunOnce(row.message, exit_code, said), ConsoleProcessResult::kCompleted);
    EXPECT_EQ(exit_code, 3);
    for (const std::string& part : row.parts) EXPECT_NE(said.find(part), std::string::npos) << part << said;
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
  }
}

// Which changes make a message is the policy's; the command runs for every message it gets.
TEST(NotifyCommand, RunsForEachMessageWhenACommandIsSet) {
  const TChange critical{TChangeKind::DriveFailed, TSeverity::Critical, "c"};
  const struct {
    std::string command;
    bool runs;
  } cases[] = {
      {"notify", true},
      {"", false},
      {"notify.txt", true},  // run, never read as a file
  };
  for (const auto& c : cases) {
    int runs = 0;
    std::string command;
    TNotifySettings settings;
    settings.Command = c.command;
    TNotifyCommand notify(settings, std::string(), [&](const std::string& line, const platform::ConsoleProcessLimits&,
                                                       std::string&) {
      ++runs;
      command = line;
      return ConsoleProcessResult::kCompleted;
    });
    EXPECT_EQ(notify.Submit(Problem("Warning", {critical}, 0)), c.runs) << c.command;
    notify.Wait();
    EXPECT_EQ(runs, c.runs ? 1 : 0);
    if (c.runs) EXPECT_EQ(command, c.command);
  }
}

TEST(NotifyCommand, SettingsTakeTheirDefaults) {
  struct Case {
    std::string ini;
    std::string command;
    int64_t timeout;
    TSeverity min;
    bool problem;
  } cases[] = {
      {"", "", 60, TSeverity::Warning, false},
      {"[notify]\ncommand=mail.sh\ntimeout=5\nmin_severity=Critical\n", "mail.sh", 5, TSeverity::Critical, false},
      {"[notify]\nmin_severity=information\ntimeout=0\n", "", 60, TSeverity::Information, false},
      {"[notify]\nmin_severity=urgent\ntimeout=-3\n", "", 60, TSeverity::Warning, true},
      {"[notify]\ncommand=" + std::string(260, 'x') + "\n", std::string(260, 'x'), 60, TSeverity::Warning, true},
  };
  for (const Case& c : cases) {
    const TSettings settings = ReadSettings(TMemIniFile(c.ini));
    const TNotifySettings s(settings);
    EXPECT_EQ(s.Command, c.command) << c.ini;
    EXPECT_EQ(s.TimeoutSeconds, c.timeout) << c.ini;
    EXPECT_EQ(s.Policy.MinSeverity, c.min) << c.ini;
    EXPECT_EQ(!settings.refused.empty(), c.problem) << c.ini;
  }
}

// A command that hangs is ended at its time-out without holding up the caller, and a
// source command run meanwhile on the collecting thread ends on its own time; one that
// prints 100 MB runs to its end with 4 KiB of it logged; one that is not there is logged.
TEST(NotifyCommand, HungNoisyAndMissingCommands) {
  ScratchFolder scratch;
  const std::string folder = scratch.path().string() + "/";
  const std::string beat = scratch.File("beat");
  TNotifySettings settings;
  settings.TimeoutSeconds = 2;
  LogRecorder log;

  settings.Command = Quoted(ChildProgram()) + " beat " + Quoted(beat);
  {
    TNotifyCommand notify(settings, folder, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(notify.Submit(Problem("Warning", kTwoChanges, 0)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "Submit waited for the command";
    platform::ConsoleProcessLimits limits;
    limits.timeout_ms = 60 * 1000;
    std::string output;
    EXPECT_EQ(platform::RunConsoleProcess(Quoted(ChildProgram()) + " out hello", limits, output),
              ConsoleProcessResult::kCompleted);
    EXPECT_EQ(output, "hello");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800))
        << "a source command waited for the notification command";
    // A cycle once waited here for the hung command, up to its time-out: the next one's
    // changes now wait for the next run instead.
    EXPECT_TRUE(notify.Submit(Problem("Warning", kTwoChanges, 0)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800)) << "Submit waited";
    for (int i = 0; i < 300 && LineWith(log, "timed out").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    notify.Stop();
  }
  EXPECT_NE(LineWith(log, "notify: the previous command still runs; a notification of 2 changes waits for the next run"), "");
  EXPECT_NE(LineWith(log, "ERROR! notify: the command timed out and was ended"), "");
  const int64_t size = FileSize(beat);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(FileSize(beat), size) << "the hung command still runs";

  log.Clear();
  settings.TimeoutSeconds = 120;
  settings.Command = Quoted(ChildProgram()) + " flood 100";
  {
    TNotifyCommand notify(settings, folder, nullptr);
    ASSERT_TRUE(notify.Submit(Problem("Warning", kTwoChanges, 0)));
    notify.Wait();
  }
  EXPECT_NE(LineWith(log, "notify: the command ended, exit code 0"), "");
  EXPECT_EQ(LineWith(log, "notify: output: "), "notify: output: " + std::string(4096, 'x'));

  log.Clear();
  settings.Command = Quoted(scratch.File("no-such-program")) + " --send";
  {
    TNotifyCommand notify(settings, folder, nullptr);
    ASSERT_TRUE(notify.Submit(Problem("Warning", kTwoChanges, 0)));
    notify.Wait();
  }
  EXPECT_NE(LineWith(log, "ERROR! notify: the command could not be started: "), "");
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()) ||
              !std::filesystem::exists(scratch.File("korvane_monitor_notify.tmp")));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A runner that holds each run until opened (or cancelled, or 20 s) and records what it
// was given.
class GatedRunner {
 public:
  struct Run {
    std::map<std::string, std::string> env;
    std::string changes;  // KORVANE_CHANGES_FILE's text
  };
  TNotifyCommand::Runner Get() {
    return [this](const std::string&, const platform::ConsoleProcessLimits& limits, std::string&) {
      Run run;
      for (const std::string& e : limits.environment) run.env[e.substr(0, e.find('='))] = e.substr(e.find('=') + 1);
      run.changes = ReadAll(run.env["KORVANE_CHANGES_FILE"]);
      std::unique_lock<std::mutex> lock(mutex_);
      runs_.push_back(run);
      changed_.notify_all();
      for (int i = 0; i < 1000 && !open_ && !limits.cancel->Cancelled(); ++i)
        changed_.wait_for(lock, std::chrono::milliseconds(20));
      return open_ ? ConsoleProcessResult::kCompleted : ConsoleProcessResult::kCancelled;
    };
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitRuns(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return runs_.size() >= count; });
  }
  std::vector<Run> Runs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return runs_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  std::vector<Run> runs_;
};

// Cycles that come while the command runs are told together by the next run: the latest
// verdict, every change oldest first (the newest kMaxLines lines, the rest counted), the
// most serious one in the summary even when its line was left out. Both runs are in the
// outbox until they end.
TEST(NotifyCommand, CyclesDuringARunAreJoinedIntoTheNext) {
  ScratchFolder scratch;
  TNotifySettings settings;
  settings.Command = "notify";
  settings.Policy.MinSeverity = TSeverity::Information;
  GatedRunner runner;
  std::vector<TChange> many(TNotifyRun::kMaxLines, TChange{TChangeKind::TaskEnded, TSeverity::Information, "ended"});
  many.back().Text = "newest";
  {
    TOutbox box(scratch.path().string() + "/");
    TNotifyCommand notify(settings, scratch.path().string() + "/", runner.Get(), &box);
    ASSERT_TRUE(notify.Submit(Problem("Critical", kTwoChanges, 1765249800)));
    ASSERT_TRUE(runner.WaitRuns(1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        notify.Submit(Problem("Critical", {{TChangeKind::DriveFailed, TSeverity::Critical, "second failed"}}, 1765249860)));
    EXPECT_TRUE(notify.Submit(Problem("Warning", many, 1765249920)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "Submit waited for the command";
    const std::string outbox = ReadAll(scratch.File(kOutboxFileName));
    EXPECT_EQ(Count(outbox, "[command]\r\n"), 2u) << outbox.substr(0, 1000);
    EXPECT_EQ(Count(outbox, "\r\nchange="), 2 + TNotifyRun::kMaxLines);
    runner.Open();
    notify.Wait();
  }
  const auto runs = runner.Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].env.at("KORVANE_CHANGE_COUNT"), "2");
  const GatedRunner::Run& joined = runs[1];
  EXPECT_EQ(joined.env.at("KORVANE_VERDICT"), "Warning");
  EXPECT_EQ(joined.env.at("KORVANE_CHANGE_COUNT"), std::to_string(TNotifyRun::kMaxLines + 1));
  EXPECT_EQ(joined.env.at("KORVANE_SUMMARY"),
            "Warning: second failed (and " + std::to_string(TNotifyRun::kMaxLines) + " more changes)");
  EXPECT_EQ(joined.changes.rfind("2025-12-09 03:12:00 information 1 earlier changes left out", 0), 0u);
  EXPECT_EQ(Count(joined.changes, "\r\n"), TNotifyRun::kMaxLines + 1);
  EXPECT_NE(joined.changes.find(" information newest\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "the outbox or the changes file was left behind";
}

// A run a stop cut off is run again by the next start, joined with the run that waited
// behind it. What the outbox holds that cannot be read is skipped with one line, whatever
// it is; other senders' entries stay.
TEST(NotifyCommand, TheOutboxIsRunAgainAtTheStart) {
  ScratchFolder scratch;
  const std::string folder = scratch.path().string() + "/";
  const std::string outbox = scratch.File(kOutboxFileName);
  TNotifySettings settings;
  settings.Command = "notify";
  auto start = [&](GatedRunner& runner) {
    runner.Open();
    TOutbox box(folder);
    TNotifyCommand notify(settings, folder, runner.Get(), &box);
    box.Load();
    notify.Resume();
    notify.Wait();
  };
  {
    GatedRunner hung;
    TOutbox box(folder);
    TNotifyCommand notify(settings, folder, hung.Get(), &box);
    ASSERT_TRUE(notify.Submit(Problem("Critical", kTwoChanges, 1765249800)));
    ASSERT_TRUE(hung.WaitRuns(1));
    ASSERT_TRUE(notify.Submit(Problem("Warning", {{TChangeKind::DriveGone, TSeverity::Warning, "gone"}}, 1765249860)));
    notify.Stop();
  }
  {
    LogRecorder log;
    GatedRunner runner;
    start(runner);
    ASSERT_EQ(runner.Runs().size(), 1u);
    const GatedRunner::Run again = runner.Runs()[0];
    EXPECT_EQ(again.env.at("KORVANE_VERDICT"), "Warning");
    EXPECT_EQ(again.env.at("KORVANE_SUMMARY"),
              "Warning: Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed (and 2 more changes)");
    EXPECT_NE(again.changes.find(" information Task 3: started (Rebuild)\r\n"), std::string::npos);
    EXPECT_NE(again.changes.find(" warning gone\r\n"), std::string::npos);
    EXPECT_NE(LineWith(log, "notify: running again a notification of 3 changes"), "");
    EXPECT_FALSE(std::filesystem::exists(outbox));
  }

  // Written by an earlier version: no event, a problem.
  const std::string entry = "[command]\r\nverdict=Warning\r\ncount=1\r\nchange=2025-12-09 03:10:00 warning w\r\n";
  struct Row {
    const char* name;
    std::string text;
    std::string count;  // KORVANE_CHANGE_COUNT of the one run; empty: none runs
    std::string log;    // a core-log line holds this
    std::string left;   // the outbox afterwards, from its first entry
    std::string event = "problem";  // KORVANE_EVENT of the run
  } rows[] = {
      {"other senders' entries stay", "[webhook]\r\nurl=x\r\n" + entry + "[Pager]\r\nto=ops\r\n", "1", "",
       "[Pager]\r\nto=ops\r\n[webhook]\r\nurl=x\r\n"},
      {"a reminder tells no change", "[command]\r\nevent=reminder\r\nverdict=Warning\r\nchange=Warning D: x\r\n", "0",
       "notify: running again a reminder left from before the start", "", "reminder"},
      {"an unknown event", "[command]\r\nevent=party\r\n" + entry.substr(11), "", "1 lines or entries", ""},
      {"junk around an entry", std::string("junk\r\n\xFF\0\r\n[\r\n", 13) + entry + "=v\r\nno equals\r\n", "1",
       "5 lines or entries could not be read", ""},
      {"no verdict, no changes, a hostile count",
       "[command]\r\ncount=99999999999999999999999\r\n[command]\r\nverdict=OK\r\n", "", "2 lines or entries", ""},
      {"count above its lines", entry + "count=70000\r\ntime=x\r\n", "70000", "", ""},
      {"too large", std::string(kOutboxMaxBytes + 1, '\n'), "", "larger than 8 MiB", ""},
  };
  for (const Row& row : rows) {
    WriteBytes(outbox, row.text);
    LogRecorder log;
    GatedRunner runner;
    start(runner);
    const auto runs = runner.Runs();
    ASSERT_EQ(runs.size(), row.count.empty() ? 0u : 1u) << row.name;
    if (!row.count.empty()) EXPECT_EQ(runs[0].env.at("KORVANE_CHANGE_COUNT"), row.count) << row.name;
    if (!row.count.empty()) EXPECT_EQ(runs[0].env.at("KORVANE_EVENT"), row.event) << row.name;
    if (!row.log.empty()) EXPECT_NE(LineWith(log, row.log), "") << row.name;
    const std::string left = ReadAll(outbox);
    EXPECT_EQ(left.substr(std::min(left.find('['), left.size())), row.left) << row.name;
  }

  // A folder where the outbox should be is told, and nothing hangs.
  std::filesystem::create_directories(outbox);
  LogRecorder log;
  TOutbox box(folder);
  box.Load();
  EXPECT_NE(LineWith(log, std::string("ERROR! notify: ") + kOutboxFileName), "");
}

}  // namespace
}  // namespace kv

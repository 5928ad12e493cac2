// The restart program's command line, its log, and the exit codes of a run.
#include "reload/reload_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kv {
namespace {

TEST(ReloadArguments, AcceptedCommandLinesNameServiceAndProgram) {
  struct Case {
    std::vector<std::string> args;
    std::string suffix, service, program;
  } cases[] = {
      {{"KorvaneMonitorHTTPServer", "reload", "korvane_monitor_core_log.txt"}, ".exe", "KorvaneMonitorHTTPServer",
       "korvane_monitor.exe"},
      {{"KorvaneMonitorHTTPServer", "RELOAD", "monitor_CORE_LOG.TXT"}, "", "KorvaneMonitorHTTPServer", "monitor"},
      {{"Other Name", "Reload", "a.b_core_log.txt"}, "", "Other Name", "a.b"},
  };
  for (const Case& c : cases) {
    const ReloadRequest r = ParseReloadArguments(c.args, c.suffix);
    EXPECT_EQ(r.error, "") << c.args[2];
    EXPECT_EQ(r.service, c.service);
    EXPECT_EQ(r.program_name, c.program);
  }
}

TEST(ReloadArguments, RefusedCommandLines) {
  const std::string svc = "KorvaneMonitorHTTPServer", log = "korvane_monitor_core_log.txt";
  const std::vector<std::vector<std::string>> refused = {
      {},
      {svc, "reload"},
      {svc, "reload", log, "extra"},
      {svc, "restart", log},
      {"", "reload", log},
      {"--force", "reload", log},
      {"a/b", "reload", log},
      {"a\\b", "reload", log},
      {std::string("a\nb"), "reload", log},
      {std::string(256, 'x'), "reload", log},
      {svc, "reload", "_core_log.txt"},
      {svc, "reload", "korvane_monitor.txt"},
      {svc, "reload", "../bin/sh_core_log.txt"},
      {svc, "reload", "C:x_core_log.txt"},
      {svc, "reload", ".._core_log.txt"},
      {svc, "reload", std::string("a\tb_core_log.txt")},
  };
  for (const auto& args : refused) {
    const ReloadRequest r = ParseReloadArguments(args, "");
    EXPECT_NE(r.error, "") << ::testing::PrintToString(args);
    EXPECT_EQ(r.program_name, "");
  }
}

TEST(ReloadLog, LinesAreStampedAndUntrustedTextIsMadePrintable) {
  platform::LocalDateTime at;
  at.year = 2024, at.month = 5, at.day = 1, at.hour = 7, at.minute = 8, at.second = 9;
  EXPECT_EQ(ReloadLogLine(at, "Stopped", "\r\n"), "2024-05-01 07:08:09 Stopped\r\n");
  EXPECT_EQ(LogSafe(std::string("a\r\nb\x7f") + "\xC0"), std::string("a??b?") + "\xC0");
  EXPECT_EQ(LogSafe(std::string(1000, 'z')).size(), 255u);
}

class ReloadRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = (std::filesystem::temp_directory_path() /
               ("kv-reload-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                  .string();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    folder_ += '/';
    seen_ = {};
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string Log() const {
    std::string text;
    platform::ReadWholeFile(folder_ + kReloadLogName, text);
    return text;
  }

  std::string folder_;
  static inline platform::ReloadTarget seen_;
};

TEST_F(ReloadRunTest, ExitCodesFollowTheOutcomeAndEveryRunIsLogged) {
  const std::vector<std::string> good = {"KorvaneMonitorHTTPServer", "reload", "mon_core_log.txt"};
  auto succeed = [](const platform::ReloadTarget& t, const platform::ReloadLog& log) {
    seen_ = t;
    log("step one");
    return true;
  };
  auto fail = [](const platform::ReloadTarget& t, const platform::ReloadLog&) {
    seen_ = t;
    return false;
  };
  EXPECT_EQ(RunReload(good, folder_, succeed), 0);
  EXPECT_EQ(seen_.service, "KorvaneMonitorHTTPServer");
  EXPECT_EQ(seen_.program_folder, folder_);
  EXPECT_EQ(seen_.program_path.rfind(folder_ + "mon", 0), 0u);
  EXPECT_EQ(RunReload(good, folder_, fail), 1);
  seen_ = {};
  EXPECT_EQ(RunReload({"x", "reload"}, folder_, succeed), 2);
  EXPECT_EQ(seen_.service, "") << "a refused command line must not restart anything";

  const std::string log = Log();
  for (const char* text : {"Started with \"KorvaneMonitorHTTPServer\" \"reload\" \"mon_core_log.txt\"", "step one",
                           "Finished: service \"KorvaneMonitorHTTPServer\" restarted",
                           "Failed: service \"KorvaneMonitorHTTPServer\" was not restarted", "Refused: "})
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
}

TEST_F(ReloadRunTest, OversizedLogStartsAfresh) {
  ASSERT_TRUE(platform::WriteWholeFile(folder_ + kReloadLogName, std::string(kMaxReloadLogBytes + 1, 'o')));
  RunReload({}, folder_, nullptr);
  const std::string log = Log();
  EXPECT_LT(log.size(), 1000u);
  EXPECT_NE(log.find("Started with no arguments"), std::string::npos);
}

}  // namespace
}  // namespace kv

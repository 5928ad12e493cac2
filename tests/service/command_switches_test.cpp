// The console switches and the --check-config report.
#include "service/command_switches.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "health/changes.h"
#include "notify/notify_policy.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "service/service_config.h"
#include "service/temp_folder.h"

namespace kv {
namespace {

TEST(InfoSwitches, OnlyTheFirstArgumentSelects) {
  const std::pair<std::vector<std::string>, InfoSwitch> cases[] = {
      {{}, InfoSwitch::kNone},
      {{"/?"}, InfoSwitch::kHelp},
      {{"--HELP"}, InfoSwitch::kHelp},
      {{"-h"}, InfoSwitch::kHelp},
      {{"--version"}, InfoSwitch::kVersion},
      {{"--check-config", "/INSTALL"}, InfoSwitch::kCheckConfig},
      {{"--Test-Notify"}, InfoSwitch::kTestNotify},
      {{"/INSTALL", "--help"}, InfoSwitch::kNone},
      {{"-install"}, InfoSwitch::kNone},
      {{"--helpme"}, InfoSwitch::kNone},
  };
  for (const auto& [args, expected] : cases)
    EXPECT_EQ(ParseInfoSwitch(args), expected) << ::testing::PrintToString(args);
}

// The test message tells the verdict the service last saw, from its saved state.
TEST(TestNotify, VerdictComesFromTheSavedState) {
  TNotifyMemory memory;
  memory.Verdict = "Critical";
  TStateSnapshots snapshots;
  snapshots[1] = TStateSnapshot{};
  const std::pair<std::string, std::string> cases[] = {
      {SaveSnapshots(snapshots, memory.Save()), "Critical"},
      {SaveSnapshots(snapshots), "unknown"},  // an earlier version's state
      {"", "unknown"},
      {"not a state\nnotify\tverdict\tOK\n", "unknown"},
  };
  for (const auto& [text, verdict] : cases) EXPECT_EQ(SavedVerdict(text), verdict) << text;
}

// The line of one key in the report, e.g. "port=31313                  ; default".
std::string KeyLine(const std::string& report, const std::string& section, const std::string& key) {
  const size_t at = report.find("[" + section + "]\n");
  if (at == std::string::npos) return "";
  const size_t line = report.find("\n" + key + "=", at);
  if (line == std::string::npos) return "";
  return report.substr(line + 1, report.find('\n', line + 1) - line - 1);
}

TEST(CheckConfig, EffectiveValuesAndWhereTheyCameFrom) {
  struct Case {
    std::string text, section, key, value, origin;
  } cases[] = {
      {"", "http", "port", "31313", "; default"},
      {"[http]\r\nport=0x7A51\r\n", "http", "port", "31313", "; configured"},
      {"[HTTP]\nPORT = 8080\n", "http", "port", "8080", "; configured"},
      {"[http]\nport=abc\n", "http", "port", "31313", "; default; configured value \"abc\" not understood"},
      {"[http]\nuse=0\n", "http", "use", "0", "; configured"},
      {"[http]\nmax_connections=0\n", "http", "max_connections", "256", "; configured"},
      {"[scaner]\nrestart_timeout=2\n", "scaner", "restart_timeout", "2", "; configured"},
      {"[http]\nport=1\n[http]\nuse=0\n", "http", "port", "31313", "; default"},
      {"[http]\nport=70000\n", "http", "port", "31313", "; default; configured value \"70000\" is outside 1..65535"},
      {"[scaner]\nlog=1\n", "scaner", "log", "1", "; configured"},
      {"[http]\nlisten=127.0.0.2\n", "http", "listen", "127.0.0.2", "; configured"},
      {"[http]\nlisten=localhost\n", "http", "listen", "localhost", "; configured; not an IPv4 address"},
      {"[http]\nallow=10.0.0.0/8, 300.1.1.1\n", "http", "allow", "10.0.0.0/8, 300.1.1.1",
       "; configured; entry \"300.1.1.1\" cannot be read: only 127.0.0.1 is allowed"},
      {"[health]\ndrive_temperature_max=60\n", "health", "drive_temperature_max", "60", "; configured"},
      {"[source]\nconfig=tool.exe -get all\n", "source", "config", "tool.exe -get all", "; configured"},
      {"", "notify", "timeout", "60", "; default"},
      {"", "notify", "min_severity", "warning", "; default"},
      {"[notify]\nmin_severity=CRITICAL\ntimeout=0\n", "notify", "min_severity", "critical", "; configured"},
      {"[notify]\nmin_severity=CRITICAL\ntimeout=0\n", "notify", "timeout", "60", "; configured"},
      {"[notify]\nmin_severity=urgent\n", "notify", "min_severity", "warning",
       "; default; configured value \"urgent\" is not information, warning or critical"},
      {"[notify]\ncommand=" + std::string(260, 'm') + "\n", "notify", "command", std::string(260, 'm'),
       "; configured; longer than 259 characters: never run"},
      {"[scaner]\ntimeout=0\n", "scaner", "timeout", "1", "; bound; configured value \"0\" is below 1"},
      {"[source]\ncache=" + std::string(260, 'c') + "\n", "source", "cache", std::string(260, 'c'),
       "; configured, run as a command, longer than 259 characters: never run"},
  };
  for (const Case& c : cases) {
    int problems = -1;
    const std::string report = CheckConfigText("/x/config_http.txt", true, c.text, problems);
    const std::string line = KeyLine(report, c.section, c.key);
    const std::string shown = line.substr(0, line.find(" ; "));
    EXPECT_EQ(shown.substr(0, shown.find_last_not_of(' ') + 1), c.key + "=" + c.value) << c.text;
    EXPECT_NE(line.find(c.origin), std::string::npos) << c.text << "\n" << line;
  }
}

TEST(CheckConfig, ListsEveryLineItDidNotUnderstand) {
  const std::string text =
      "stray before sections\n"  // 1
      "; comment\n"              // 2
      "[http]\n"                 // 3
      "port=31313\n"             // 4
      "prot=8080\n"              // 5
      "[scanner]\n"              // 6
      "timeout=5\n"              // 7
      "[source]\n"               // 8
      "config\n"                 // 9
      "[http]\n"                 // 10
      "use=1\n"                  // 11
      "[source_9]\n"             // 12: controllers go up to 8
      "[Source_3]\n"             // 13
      "bogus=1\n";               // 14
  int problems = 0;
  const std::string report = CheckConfigText("/x/config_http.txt", true, text, problems);
  for (const char* expected : {"line 1: stray before sections  (before the first section",
                               "line 5: prot=8080  (unknown key in section [http])",
                               "line 6: [scanner]  (unknown section)", "line 7: timeout=5  (in an unknown section)",
                               "line 9: config  (no \"=\"", "line 10: [http]  (section repeated",
                               "line 12: [source_9]  (unknown section)", "line 14: bogus=1  (unknown key in section",
                               "[source_3] has no config source: controller 3 is not watched"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  EXPECT_EQ(problems, 9);
  EXPECT_EQ(report.find("line 13:"), std::string::npos);
  EXPECT_EQ(report.find("line 2:"), std::string::npos);
  EXPECT_EQ(report.find("line 4:"), std::string::npos);
  EXPECT_EQ(report.find("line 11:"), std::string::npos);
}

TEST(CheckConfig, SaysHowEverySourceIsRead) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv-check-config-sources";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "saved.txt") << "x";
  const std::string config = (folder / "config_http.txt").string();
  const std::string absolute = (folder / "saved.txt").string();
  int problems = 0;
  const std::string report = CheckConfigText(config, true,
                                             "[source]\nconfig=saved.txt\nsmart=" + absolute +
                                                 "\ntask=cat /srv/tasks.txt\nstat=util -get stats\n",
                                             problems);
  std::filesystem::remove_all(folder);
  EXPECT_NE(KeyLine(report, "source", "config").find("; configured, read as a saved file"), std::string::npos);
  EXPECT_NE(KeyLine(report, "source", "smart").find("; configured, read as a saved file"), std::string::npos);
  // The newcomer's trap: a command whose last argument ends in .txt is taken as a file.
  EXPECT_NE(KeyLine(report, "source", "task").find("; configured, read as a saved file, which is not there"),
            std::string::npos)
      << report;
  EXPECT_NE(KeyLine(report, "source", "stat").find("; configured, run as a command; program not found: util"),
            std::string::npos)
      << report;
  EXPECT_EQ(KeyLine(report, "source", "cache").find(", "), std::string::npos) << "empty: nothing to say";
  EXPECT_EQ(problems, 2);
}

TEST(CheckConfig, CleanOrMissingFileHasNoProblems) {
  int problems = 1;
  std::string report = CheckConfigText("/x/config_http.txt", false, "", problems);
  EXPECT_EQ(problems, 0);
  EXPECT_NE(report.find("not found: every setting takes its default"), std::string::npos);
  EXPECT_NE(report.find("Lines not understood: none"), std::string::npos);
  report = CheckConfigText("/x/config_http.txt", true, "[http]\nport=1\n[scaner]\nlog=1\n;x\n", problems);
  EXPECT_EQ(problems, 0) << "log is a key of [scaner]";
  CheckConfigText("/x/config_http.txt", true, "[http]\nport=70000\n", problems);
  EXPECT_EQ(problems, 1) << "a port that would wrap";
  CheckConfigText("/x/config_http.txt", true, "[notify]\nmin_severity=urgent\n", problems);
  EXPECT_EQ(problems, 1) << "an unknown severity";
  // Hostile bytes are shown printable and cut.
  report = CheckConfigText("p", true, "[http]\n" + std::string(5000, 'k') + "\x01=1\n", problems);
  EXPECT_EQ(problems, 1);
  EXPECT_LT(report.size(), 2000u);
}

// The one list of problems: --check-config ends with it, counts it for its exit code, and
// the service writes each entry to the core log at start.
TEST(CheckConfig, ProblemsAreListedAsTheStartLogsThem) {
  testing::TempFolder folder;
  const std::string tool = "kv-tool" + std::string(platform::ExecutableSuffix());
  ASSERT_TRUE(platform::WriteWholeFile(folder.File(tool), "#!/bin/sh\n"));
  ASSERT_TRUE(platform::WriteWholeFile(folder.File("ca.pem"), "-----BEGIN CERTIFICATE-----\n"));
  std::filesystem::permissions(folder.Path() / tool, std::filesystem::perms::owner_all);
  const bool windows = std::string(platform::ExecutableSuffix()) == ".exe";
  const std::string path = folder.File("config_http.txt");
  const struct {
    std::string text;
    std::vector<std::string> problems;
  } cases[] = {
      // The service once said nothing of these four.
      {"[http]\nport=99999999999999999999\n",
       {"[http] port=99999999999999999999 is not a number, using 31313"}},
      {"[scaner]\ntimeout=-3\n", {"[scaner] timeout=-3 is below 1, using 1"}},
      {"[source]\nconfig=" + std::string(260, 'x') + "\n",
       {"[source] config is longer than 259 characters: it is never run"}},
      {"[source]\nsmart=no-such-kv-program --xml\n[notify]\ncommand=\"/no/such/kv notify\" a\n",
       {"[source] smart: program not found: no-such-kv-program",
        "[notify] command: program not found: /no/such/kv notify"}},
      // Programs that are there: by path, from the program folder, in PATH.
      {"[source]\nconfig=\"" + platform::ExecutablePath() + "\" -x\nsmart=./kv-tool --xml\ntask=" +
           (windows ? "cmd /c type t" : "sh -c true") + "\n",
       {}},
      // A repeated section whose last copy is empty collects nothing.
      {"[source]\nconfig=x.txt\n[source]\n",
       {"config_http.txt line 3: [source] (section repeated: only its last occurrence is read)"}},
      {"[http]\nport=0\nlisten=localhost\nallow=1.2.3.400\nbogus=1\n[source]\ntask=gone.txt\n",
       {"[http] port=0 is outside 1..65535, using 31313",
        "[http] listen address localhost is not an IPv4 address, the web server does not start",
        "[http] allow entry \"1.2.3.400\" cannot be read, only 127.0.0.1 is allowed",
        "[source] task=gone.txt is read as a saved file, which is not there (a source ending in .txt is never run)",
        "config_http.txt line 5: bogus=1 (unknown key in section [http])"}},
      {"[http]\nport=8080\n", {}},
      // The webhook's values carry secrets: the lines name the key, never the value.
      {"[notify]\nwebhook=hooks.example.org/T0/secret\nwebhook_header=Authorization Bearer s3cret\n"
       "webhook_ca=/no/such/ca.pem\n",
       {"[notify] webhook is not an http:// or https:// address, nothing is posted",
        "[notify] webhook_header is not one \"Name: value\" header",
        "[notify] webhook_ca=/no/such/ca.pem is not there, no https post can be verified"}},
      {"[notify]\nwebhook=ftp://x\nwebhook_header=X Token: a\n",
       {"[notify] webhook is not an http:// or https:// address, nothing is posted",
        "[notify] webhook_header is not one \"Name: value\" header"}},
      {"[notify]\nwebhook=HTTPS://hooks.example.org/x\nwebhook_header=Authorization: Bearer a b\nwebhook_ca=ca.pem\n",
       {}},
  };
  for (const auto& c : cases) {
    const TConfigFile file{path, true, c.text};
    std::vector<std::string> texts;
    for (const TConfigProblem& problem : ConfigProblems(file, ReadSettings(TMemIniFile(c.text))))
      texts.push_back(problem.text);
    EXPECT_EQ(texts, c.problems) << c.text;
    int problems = -1;
    const std::string report = CheckConfigText(path, true, c.text, problems);
    EXPECT_EQ(problems, static_cast<int>(c.problems.size())) << c.text;
    const std::string heading = "Problems, as the service logs them at start:";
    std::string listed = heading + (c.problems.empty() ? " none\n" : "\n");
    for (const std::string& text : c.problems) listed += "  " + text + "\n";
    EXPECT_TRUE(report.ends_with(listed)) << c.text << "\n" << report;
  }
}

}  // namespace
}  // namespace kv

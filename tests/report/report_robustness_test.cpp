// The state report under hostile utility output: whatever the parsers made of it, the report
// stays a well-formed INI text (no line breaks inside a line, every line a header, a value
// or empty) and its counts agree with the model, so the readers never see a shifted section.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "base/core_log_writer.h"
#include "base/ini_file.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_hostile_input.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/state_report.h"

namespace kv {
namespace {

std::string ReadDemo(const std::string& name) {
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/examples/demo/" + name, std::ios::binary);
  std::ostringstream buf;
  buf << in.rdbuf();
  return buf.str();
}

struct TSources {
  std::string config, smart, task, stat, cache;
};

// Runs one cycle and checks the report's shape; returns a description of the first fault.
std::string CheckCycle(const TSources& s) {
  TKVCore core;
  ParseConfig(s.config, core);
  ParseSmart(s.smart, core);
  ParseTasks(s.task, core);
  ParseLogStats(s.stat, core);
  ParseCacheStats(s.cache, core);
  BuildResult(core);
  TStringList lines;
  WriteStateReport(core, "1.0.0.1", lines);
  if (lines.empty() || lines[0] != "[main]") return "does not start with [main]";
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.find_first_of("\r\n") != std::string::npos)
      return "line break inside line " + std::to_string(i + 1);
    const bool header = line.size() >= 2 && line.front() == '[' && line.back() == ']';
    if (!line.empty() && !header && line.find('=') == std::string::npos)
      return "neither header nor value: " + line.substr(0, 80);
    text += line + "\r\n";
  }
  std::string appended;
  AppendStateReport(core, "1.0.0.1", appended);
  if (appended != text) return "the appended text differs from the joined lines";
  const TMemIniFile ini(text);
  struct Count {
    const char* section;
    int count;
    const char* item;
  };
  const Count counts[] = {{"ld", core.Result.LDs.Count(), "ld_"},
                          {"zepld", core.Result.ZepLDs.Count(), "zepld_"},
                          {"task", core.Tasks.Count(), "task_"},
                          {"hdds", core.Result.HDDs.Count(), "hdd_"},
                          {"enclosures", core.Result.Enclosures.Count(), "enc_"}};
  for (const Count& c : counts) {
    if (ini.ReadInteger(c.section, "count", 0) != c.count)
      return std::string("count of [") + c.section + "] differs from the model";
    if (c.count > 0 && !ini.SectionExists(c.item + std::to_string(c.count - 1)))
      return std::string("last [") + c.item + "N] section missing";
  }
  return "";
}

TEST(ReportRobustness, RandomListingsGiveWellFormedReports) {
  const CoreLogSink previous = SetCoreLogSink(nullptr);
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    TSources s;
    s.config = RandomListing(8 << 10, seed);
    s.task = RandomListing(1 << 10, seed + 1000);
    EXPECT_EQ(CheckCycle(s), "") << "seed " << seed;
  }
  SetCoreLogSink(previous);
}

TEST(ReportRobustness, DemoOutputsCutAtEveryLine) {
  const TSources full{ReadDemo("get_config.txt"), ReadDemo("get_smartstats.txt"),
                      ReadDemo("get_tasks.txt"), ReadDemo("get_logs_stats.txt"),
                      ReadDemo("get_logs_cache.txt")};
  if (full.config.empty()) GTEST_SKIP() << "no demo outputs";
  const CoreLogSink previous = SetCoreLogSink(nullptr);
  EXPECT_EQ(CheckCycle(full), "");
  // Each source in turn cut after every line, the others whole.
  std::string TSources::*const fields[] = {&TSources::config, &TSources::smart, &TSources::task,
                                           &TSources::stat, &TSources::cache};
  for (auto field : fields) {
    const std::string& text = full.*field;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', end + 1)) {
      TSources cut = full;
      cut.*field = text.substr(0, end);
      const std::string fault = CheckCycle(cut);
      ASSERT_EQ(fault, "") << "cut at byte " << end;
    }
  }
  SetCoreLogSink(previous);
}

TEST(ReportRobustness, MutatedSmartAndStatisticsOutputs) {
  const TSources full{ReadDemo("get_config.txt"), ReadDemo("get_smartstats.txt"), "",
                      ReadDemo("get_logs_stats.txt"), ReadDemo("get_logs_cache.txt")};
  if (full.smart.empty()) GTEST_SKIP() << "no demo SMART output";
  const CoreLogSink previous = SetCoreLogSink(nullptr);
  std::mt19937 rng(20261208);
  const char kBytes[] = "<>/\"= \r\n:x0";
  for (int round = 0; round < 60; ++round) {
    TSources s = full;
    for (std::string* text : {&s.smart, &s.stat, &s.cache}) {
      for (int k = 0; k < 20 && !text->empty(); ++k)
        (*text)[rng() % text->size()] = kBytes[rng() % (sizeof kBytes - 1)];
    }
    ASSERT_EQ(CheckCycle(s), "") << "round " << round;
  }
  SetCoreLogSink(previous);
}

}  // namespace
}  // namespace kv

// Golden state reports: the demo's saved outputs and real listings of the controller
// utility, parsed as one collection cycle does and written out, compared line by line with
// the files in tests/report/golden/.
//
// How the golden files were checked (before they were trusted): each file was read side by
// side with its listing, section by section. Every [controller], [bbu], [ld_N], [hdd_N] and
// [enc_N] value was looked up in the listing by its key; every "data=", "values=",
// "status=" and "versions=" value was split at "||||" and compared pair by pair with the
// lines of its block; the member sections ([ld_N_M], [enc_N_M]) were checked by matching
// each segment's serial and each "Reported Location" by hand against the drive list, and the
// drive's ld=/ld_number=/ld_uniq= triples against those members; the blank lines against
// the fixed places of the layout; the task keys against the task listing. In addition
// golden_check.py (beside this file) recomputes, from the listing alone, every pair of every
// block and the counts of devices, drives and enclosures, and diffs them with the golden.
//
// Regenerating after an intended change (new demo outputs, a parser fix): run
//   KV_UPDATE_GOLDEN=1 build/<dir>/test_report --gtest_filter='GoldenReport.*'
// then check the diff of tests/report/golden/ the same way before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/state_report.h"
#include "test_files.h"

namespace kv {
namespace {

const std::string kGoldenDir = std::string(KV_SOURCE_DIR) + "/tests/report/golden/";
const std::string kRealDir = std::string(KV_FIXTURES_DIR) + "/real/";

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buf;
  buf << in.rdbuf();
  text = buf.str();
  return true;
}

TStringList SplitLines(const std::string& text) {
  TStringList lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// The sources of one cycle; an empty text is skipped as the collection cycle skips it.
struct TSources {
  std::string config, smart, task, stat, cache;
};

TStringList ReportOf(const TSources& s) {
  TKVCore core;
  core.SmartNames = test::ShippedSmartNames();
  ParseConfig(s.config, core);
  if (!s.smart.empty()) ParseSmart(s.smart, core);
  if (!s.task.empty()) ParseTasks(s.task, core);
  if (!s.stat.empty()) ParseLogStats(s.stat, core);
  if (!s.cache.empty()) ParseCacheStats(s.cache, core);
  BuildResult(core);
  TStringList lines;
  WriteStateReport(core, "1.0.0.1", lines);
  return lines;
}

void CompareWithGolden(const std::string& name, const TStringList& lines) {
  const std::string path = kGoldenDir + name + ".ini";
  const char* update = std::getenv("KV_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : lines) out << line << '\n';
    ASSERT_TRUE(out.good()) << path;
    return;
  }
  std::string golden_text;
  ASSERT_TRUE(ReadFile(path, golden_text)) << "missing golden " << path;
  const TStringList golden = SplitLines(golden_text);
  const size_t common = std::min(golden.size(), lines.size());
  for (size_t i = 0; i < common; ++i)
    ASSERT_EQ(lines[i], golden[i]) << name << " line " << (i + 1);
  EXPECT_EQ(lines.size(), golden.size()) << name;
}

TEST(GoldenReport, Demo) {
  const std::string dir = std::string(KV_SOURCE_DIR) + "/examples/demo/";
  std::string config_http;
  if (!ReadFile(dir + "config_http.txt", config_http)) GTEST_SKIP() << "no demo yet";
  const TMemIniFile ini(config_http);
  TSources s;
  struct Source {
    const char* key;
    std::string* text;
  };
  const Source sources[] = {{"config", &s.config}, {"smart", &s.smart}, {"task", &s.task},
                            {"stat", &s.stat},     {"cache", &s.cache}};
  for (const Source& source : sources) {
    const std::string file = ini.ReadString("source", source.key, "");
    if (!file.empty()) ASSERT_TRUE(ReadFile(dir + file, *source.text)) << file;
  }
  ASSERT_FALSE(s.config.empty());
  CompareWithGolden("demo", ReportOf(s));
}

// Every shared real listing has a golden report named after it; a listing without one fails,
// so a new generation's sample cannot be added without its report being read.
TEST(GoldenReport, RealListings) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(kRealDir) / "config";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no real listings";
  // A task status captured on the same machine as the listing.
  const std::map<std::string, std::string> tasks = {
      {"03-6405-verify", "task/01-6405-buildverify.txt"},
      {"12-8885q-impacted", "task/02-8885q-verifyfix.txt"},
  };
  std::vector<fs::path> listings;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".txt") listings.push_back(entry.path());
  std::sort(listings.begin(), listings.end());
  for (const fs::path& listing : listings) {
    const std::string name = listing.stem().string();
    SCOPED_TRACE(name);
    TSources s;
    ASSERT_TRUE(ReadFile(listing.string(), s.config));
    if (const auto task = tasks.find(name); task != tasks.end())
      ASSERT_TRUE(ReadFile(kRealDir + task->second, s.task));
    CompareWithGolden(name, ReportOf(s));
  }
}

}  // namespace
}  // namespace kv

// Cost of the metrics text and the JSON state document against the rest of a cycle, for a
// controller with 256 drives. The figure is printed; the bound only catches a blow-up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <vector>

#include "pages/drive_page.h"
#include "pages/main_page.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/metrics_support.h"
#include "report/metrics_text.h"
#include "report/state_json.h"
#include "report/state_report.h"
#include "test_files.h"

namespace kv {
namespace {

// The demo listing with its drive section replaced by 256 copies of its first drive.
std::string ListingWith256Drives() {
  std::vector<std::string> lines;
  std::istringstream in(testing::ReadDemo("get_config.txt"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  size_t first = 0, end = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (first == 0 && lines[i].find("Device #0") != std::string::npos) first = i;
    if (first != 0 && i > first && lines[i].rfind("-----", 0) == 0) {
      end = i;
      break;
    }
  }
  size_t next = first + 1;
  while (next < end && lines[next].find("Device #") == std::string::npos) ++next;
  std::string out;
  for (size_t i = 0; i < first; ++i) out += lines[i] + "\n";
  for (int n = 0; n < 256; ++n) {
    for (size_t i = first; i < next; ++i) {
      std::string line = lines[i];
      const std::string id = std::to_string(n);
      if (line.find("Device #") != std::string::npos) line = "      Device #" + id + "\r";
      else if (line.find("Reported Channel,Device") != std::string::npos) line = "         Reported Channel,Device(T:L)    : 0," + id + "(" + id + ":0)\r";
      else if (line.find("Reported Location") != std::string::npos) line = "         Reported Location               : Enclosure 0, Slot " + id + "\r";
      else if (line.find("Serial number") != std::string::npos) line = "         Serial number                   : SN" + id + "\r";
      out += line + "\n";
    }
  }
  for (size_t i = end; i < lines.size(); ++i) out += lines[i] + "\n";
  return out;
}

template <class Fn>
double BestSeconds(Fn&& fn) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(MetricsCost, SmallBesideTheCycleFor256Drives) {
  const std::string listing = ListingWith256Drives();
  const std::string smart = testing::ReadDemo("get_smartstats.txt");
  const std::string tasks = testing::ReadDemo("get_tasks.txt");
  const std::string stats = testing::ReadDemo("get_logs_stats.txt");
  std::unique_ptr<TKVCore> core;
  const double cycle = BestSeconds([&] {
    core = std::make_unique<TKVCore>();
    ParseConfig(listing, *core);
    ParseSmart(smart, *core);
    ParseTasks(tasks, *core);
    ParseLogStats(stats, *core);
    BuildResult(*core);
    TStringList report;
    WriteStateReport(*core, "1.0", report);
    RenderMainPage(*core, "1.0", test::EmbeddedFiles(), nullptr, 0);
    for (int n = 0; n < core->Result.HDDs.Count(); ++n)
      RenderHddPage(*core, "0_" + std::to_string(n), test::EmbeddedFiles());
  });
  ASSERT_EQ(core->Result.HDDs.Count(), 256);
  size_t bytes = 0;
  const double machine = BestSeconds([&] {
    bytes = RenderMetricsText(*core, testing::UpHealth()).size() + RenderStateJson(*core, testing::UpHealth()).size();
  });
  std::printf("256 drives: cycle %.1f ms, metrics + JSON %.2f ms (%.1f %%), %zu bytes\n", cycle * 1e3,
              machine * 1e3, 100 * machine / cycle, bytes);
  EXPECT_LT(machine, cycle * 0.5);
}

}  // namespace
}  // namespace kv

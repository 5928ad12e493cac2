#pragma once
// Shared by the metrics and JSON tests: models built from the demo outputs or by hand.
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/collection_health.h"

namespace kv::testing {

inline std::string ReadDemo(const std::string& name) {
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/examples/demo/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::unique_ptr<TKVCore> DemoCore() {
  auto core = std::make_unique<TKVCore>();
  ParseConfig(ReadDemo("get_config.txt"), *core);
  ParseSmart(ReadDemo("get_smartstats.txt"), *core);
  ParseTasks(ReadDemo("get_tasks.txt"), *core);
  ParseLogStats(ReadDemo("get_logs_stats.txt"), *core);
  ParseCacheStats(ReadDemo("get_logs_cache.txt"), *core);
  BuildResult(*core);
  return core;
}

inline CollectionHealth UpHealth() {
  CollectionHealth h;
  h.Up = true;
  h.LastSuccessUnixSeconds = 1765000000;
  h.DurationSeconds = 0.25;
  h.CollectionsTotal = 3;
  for (auto& s : h.Sources) {
    s.Configured = true;
    s.Status = SourceStatus::kOk;
    s.OutputBytes = 100;
  }
  return h;
}

}  // namespace kv::testing

// Timing of one full collection cycle on synthetic controllers of 64, 256 and 512 drives
// (half SATA, half SAS, one logical drive per 8 drives, controller-log and cache
// statistics): the sources read from files, parsed, the state report, the main page and
// every drive page into a fresh drive page cache. Goals: 256 drives under 100 ms, 512
// drives at most 2.5 times the 256 figure.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/ini_file.h"
#include "collect/scan_list_manager.h"
#include "model/kv_core.h"
#include "pages/drive_page.h"
#include "pages/drive_page_cache.h"
#include "pages/main_page.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_names.h"
#include "parse/smart_parser.h"
#include "parse/smart_synthetic.h"
#include "parse/stats_parser.h"
#include "report/state_report.h"
#include "resources/resource_store.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buf;
  buf << in.rdbuf();
  return buf.str();
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char* const kNames[] = {"get_config.txt", "get_smartstats.txt", "get_logs_stats.txt", "get_logs_cache.txt"};

fs::path MakeSources(int drives) {
  kv::synth::TOptions o;
  o.Sas = drives / 2;
  o.Sata = drives - o.Sas;
  const fs::path dir = fs::temp_directory_path() / ("kv-cycle-bench-" + std::to_string(drives));
  fs::create_directories(dir);
  const std::string stats = kv::synth::Stats(o, drives / 8);
  const std::string texts[] = {kv::synth::Config(o), kv::synth::Smart(o), stats, stats};
  for (int i = 0; i < 4; ++i) Write(dir / kNames[i], texts[i]);
  return dir;
}

void Cycle(benchmark::State& state) {
  kv::TMFileList files;
  kv::LoadEmbeddedResources(files);
  std::string names;
  files.Find("smart_params.txt", names);
  const auto smart_names = std::make_shared<const kv::TKVSmartNamesList>(names);
  const int drives = static_cast<int>(state.range(0));
  const fs::path dir = MakeSources(drives);
  kv::THDDHTMLCacheList pages("1.0.0.1", "", "");
  size_t bytes = 0;
  int rendered = 0;
  for (auto _ : state) {
    std::string texts[4];
    for (int i = 0; i < 4; ++i) texts[i] = ReadAll(dir / kNames[i]);
    kv::TKVCore core;
    core.SmartNames = smart_names;
    ParseConfig(texts[0], core);
    ParseSmart(texts[1], core);
    ParseLogStats(texts[2], core);
    ParseCacheStats(texts[3], core);
    BuildResult(core);
    kv::TStringList lines;
    WriteStateReport(core, "1.0.0.1", lines);
    std::string report;
    for (const std::string& line : lines) report += line + "\r\n";
    const kv::TMemIniFile report_ini(report);
    const std::string main_page = kv::RenderMainPage(core, "1.0.0.1", report_ini, files);
    kv::THDDHTMLCacheList fresh("1.0.0.1", "", "");
    bytes = main_page.size();
    for (const std::string& key : kv::DrivePageKeys(report_ini)) {
      kv::TDrivePage page = kv::RenderHddPage(core, key, files);
      bytes += page.Body.size();
      fresh.Add(key, page.AlternativeKey, page.Body);
    }
    pages.Swap(fresh);
    rendered = pages.Count();
  }
  fs::remove_all(dir);
  state.counters["pages"] = rendered;
  state.counters["page_kB"] = static_cast<double>(bytes) / 1024;
}

BENCHMARK(Cycle)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();

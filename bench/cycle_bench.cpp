// Timing of one full collection cycle on synthetic controllers of 64, 256 and 512 drives
// (half SATA, half SAS, one logical drive per 8 drives, controller-log and cache
// statistics): the sources read from files, parsed, the state report, the main page and
// every drive page into a fresh drive page cache; then the same through the scan list
// manager, which adds the verdict, the changes, the metrics and the JSON document; and the
// manager on 2 controllers of 128 drives ("{controller}" sources) beside 1 of 256. Goals:
// 512 drives at most 2.5 times the 256 figure. Then one SATA drive's page with and without
// its History section (temperature and three counters, two years of hourly samples, each
// range cut to 300 points) and the section alone, as the history writer renders it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/ini_file.h"
#include "history/history_values.h"
#include "collect/controller_cycle.h"
#include "collect/scan_list_manager.h"
#include "health/smart_verdict.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
#include "pages/drive_page_cache.h"
#include "pages/history_inputs.h"
#include "pages/history_section.h"
#include "pages/main_page.h"
#include "platform/memory.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
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

// Source `i` of controller `number` of `controllers`: kNames[i] for one controller, else
// "get_config_2.txt" and so on; number 0 gives the configured "get_config_{controller}.txt".
std::string SourceName(int i, int number, int controllers) {
  if (controllers == 1) return kNames[i];
  const std::string name = kNames[i];
  const std::string n = number == 0 ? std::string("{controller}") : std::to_string(number);
  return name.substr(0, name.size() - 4) + "_" + n + ".txt";
}

// Every listing says "Controllers found: N"; one controller's texts stay those the figures
// were taken with.
fs::path MakeSources(int drives, int controllers = 1) {
  const fs::path dir = fs::temp_directory_path() / ("kv-cycle-bench-" + std::to_string(controllers) + "x" +
                                                    std::to_string(drives));
  fs::create_directories(dir);
  for (int number = 1; number <= controllers; ++number) {
    const kv::synth::TOptions o = kv::synth::ControllerOf(drives, number, controllers);
    const std::string stats = kv::synth::Stats(o, drives / 8);
    const std::string texts[] = {kv::synth::Config(o), kv::synth::Smart(o), stats, stats};
    for (int i = 0; i < 4; ++i) Write(dir / SourceName(i, number, controllers), texts[i]);
  }
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
    const std::string main_page = kv::RenderMainPage(core, "1.0.0.1", report_ini, files, nullptr, 0);
    bytes = main_page.size();
    for (const std::string& key : kv::DrivePageKeys(report_ini)) {
      kv::TDrivePage page = kv::RenderHddPage(core, key, files);
      bytes += page.Body.size();
      pages.Refresh(kv::THDDHTMLCacheItem{key, std::move(page.AlternativeKey), std::move(page.Body), "00:00:00 01/01/2026"});
    }
    pages.EndRefresh();
    rendered = pages.Count();
  }
  fs::remove_all(dir);
  state.counters["pages"] = rendered;
  state.counters["page_kB"] = static_cast<double>(bytes) / 1024;
}

BENCHMARK(Cycle)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The service's own cycle: the scan list manager reads the saved listings as source files
// and runs everything a collection does (verdict, changes, metrics, JSON, every page) and
// publishes the texts.
class BenchEnv final : public kv::TCollectEnv {
 public:
  explicit BenchEnv(const kv::TMFileList& files) : files_(files) {}
  int64_t Now() override { return ++now_; }
  kv::platform::ConsoleProcessResult RunCommand(const std::string&, const kv::platform::ConsoleProcessLimits&,
                                                std::string&) override {
    return kv::platform::ConsoleProcessResult::kStartFailed;
  }
  bool FileExists(const std::string&) override { return false; }
  bool LaunchDetached(const std::string&, const std::string&) override { return false; }
  bool SetCurrentFolder(const std::string&) override { return true; }
  std::string ProgramFolder() override { return fs::temp_directory_path().string() + "/"; }
  std::string ExecutablePath() override { return "korvane_monitor"; }
  std::string ExecutableSuffix() override { return ""; }
  std::string VersionText() override { return "1.0.0.1"; }
  std::string OsDescription() override { return "bench"; }
  uint64_t UptimeMs() override { return 0; }
  kv::platform::MainLoop& Loop() override { return loop_; }
  kv::TServedTexts& Served() override { return served_; }
  const kv::TMFileList& Resources() override { return files_; }

 private:
  int64_t now_ = 1'700'000'000;
  kv::platform::MainLoop loop_;
  kv::TServedTexts served_;
  const kv::TMFileList& files_;
};

void RunCollection(benchmark::State& state, int controllers, int drives) {
  kv::TMFileList files;
  kv::LoadEmbeddedResources(files);
  const fs::path dir = MakeSources(drives, controllers);
  {
    BenchEnv env(files);
    kv::TScanListManager manager(env);
    kv::TSettings settings = kv::DefaultSettings();
    settings.source_config = (dir / SourceName(0, 0, controllers)).string();
    settings.source_smart = (dir / SourceName(1, 0, controllers)).string();
    settings.source_stat = (dir / SourceName(2, 0, controllers)).string();
    settings.source_cache = (dir / SourceName(3, 0, controllers)).string();
    manager.Configure(settings);
    for (auto _ : state) {
      manager.StartData();
      if (std::getenv("KV_BENCH_RETURN_HEAP")) kv::platform::ReturnFreeHeap();  // as periods of 10 s and more do
    }
    // Shows that the case watched every controller. Not on Collection: the scaling script
    // reads the iterations from the last column of its lines.
    if (controllers > 1) state.counters["controllers"] = env.Served().ControllerCount();
  }
  fs::remove_all(dir);
}

void Collection(benchmark::State& state) { RunCollection(state, 1, static_cast<int>(state.range(0))); }

// Named apart from Collection: tools/test.d/cycle_scaling.sh filters on "^Collection/256/".
void CollectionControllers(benchmark::State& state) {
  RunCollection(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

BENCHMARK(Collection)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(CollectionControllers)
    ->ArgNames({"controllers", "drives"})
    ->Args({2, 128})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Two years of hourly samples of temperature and three growing counters, as the writer
// hands them over.
std::vector<kv::THistoryChartInput> TwoYearsOfHistory(int64_t now) {
  constexpr int64_t kDay = 86400;
  const int64_t first = now - 730 * kDay;
  const auto index = [](const char* column) { return static_cast<size_t>(kv::KeptValueIndex(column)); };
  return {
      kv::test::SampledInput(index("temperature"), first, now,
                             [](int64_t t) { return 30 + t / 3600 % 24 / 3 + t / kDay % 365 / 40; }),
      kv::test::SampledInput(index("attr_5"), first, now, [=](int64_t t) { return (t - first) / (9 * kDay); }),
      kv::test::SampledInput(index("attr_197"), first, now, [=](int64_t t) { return t < now - 60 * kDay ? 0 : 8; }),
      kv::test::SampledInput(index("medium_errors"), first, now, [=](int64_t t) { return (t - first) / (40 * kDay); }),
  };
}

// A model of a controller's configuration, SMART and statistics texts.
void ParseInto(kv::TKVCore& core, const kv::TMFileList& files, const std::string& config, const std::string& smart,
               const std::string& stats) {
  std::string names;
  files.Find("smart_params.txt", names);
  core.SmartNames = std::make_shared<const kv::TKVSmartNamesList>(names);
  ParseConfig(config, core);
  ParseSmart(smart, core);
  ParseLogStats(stats, core);
  BuildResult(core);
}

void HistorySection(benchmark::State& state) {
  const int64_t now = 1'765'249'800;
  const std::vector<kv::THistoryChartInput> values = TwoYearsOfHistory(now);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string section = kv::RenderHistorySection(values, now, -180);
    bytes = section.size();
    benchmark::DoNotOptimize(section.data());
  }
  state.counters["section_kB"] = static_cast<double>(bytes) / 1024;
}

// Arg 0: the page as without history; 1: with the drive's section (rendered beforehand, as
// the cycle takes it from the writer).
void DrivePageHistory(benchmark::State& state) {
  kv::TMFileList files;
  kv::LoadEmbeddedResources(files);
  kv::TKVCore core;
  const kv::synth::TOptions o = kv::synth::ControllerOf(8, 1, 1);
  ParseInto(core, files, kv::synth::Config(o), kv::synth::Smart(o), kv::synth::Stats(o, 1));
  const int64_t now = 1'765'249'800;
  const kv::THistorySections sections = {
      {kv::DriveHistoryKeys(core, 1)[0], kv::RenderHistorySection(TwoYearsOfHistory(now), now, -180)}};
  const std::string key = core.Result.HDDs.Item(0).Channel + "_" + core.Result.HDDs.Item(0).DeviceId;
  kv::THddPageRenderer renderer(core, files);
  if (state.range(0) != 0) renderer.SetHistorySections(&sections);
  size_t bytes = 0;
  for (auto _ : state) {
    const kv::TDrivePage page = renderer.Render(key);
    bytes = page.Body.size();
    benchmark::DoNotOptimize(page.Body.data());
  }
  state.counters["page_kB"] = static_cast<double>(bytes) / 1024;
}

// One controller's cycle of 256 drives between two history samples: arg 0 without history,
// 1 with it (a week of hourly samples in the growth window, this interval already sampled),
// so the growth check is all that history adds to a cycle.
void CycleBetweenSamples(benchmark::State& state) {
  kv::TMFileList files;
  kv::LoadEmbeddedResources(files);
  std::string names;
  files.Find("smart_params.txt", names);
  const fs::path dir = MakeSources(256);
  kv::TCycleInput in;
  const kv::SourceIndex slots[] = {kv::kSourceConfig, kv::kSourceSmart, kv::kSourceStat, kv::kSourceCache};
  for (int i = 0; i < 4; ++i) in.Texts[slots[i]] = std::make_shared<const std::string>(ReadAll(dir / kNames[i]));
  in.Texts[kv::kSourceTask] = std::make_shared<const std::string>();
  in.Now = 1'765'249'800;
  in.UtcNow = in.Now;
  in.SmartConfigured = true;
  in.Version = "1.0.0.1";
  in.Files = &files;
  in.SmartNames = std::make_shared<const kv::TKVSmartNamesList>(names);
  kv::TControllerState controller;
  for (auto& source : controller.Health.Sources) source = {true, kv::SourceStatus::kOk, 0, 0};
  if (state.range(0) != 0) {
    in.HistoryInterval = 3600;
    kv::TKVCore core;
    ParseInto(core, files, *in.Texts[kv::kSourceConfig], *in.Texts[kv::kSourceSmart], *in.Texts[kv::kSourceStat]);
    kv::THistorySample sample = kv::TakeHistorySample(core, kv::JudgeDrives(core, 55), 1, in.UtcNow);
    for (int64_t hour = 7 * 24; hour >= 0; --hour) {
      sample.Time = in.UtcNow - hour * 3600;
      controller.Growth.Add(sample);
    }
    controller.LastSampleInterval = kv::HistoryInterval(in.UtcNow, in.HistoryInterval);
  }
  bool good = false;
  for (auto _ : state) {
    kv::TCycleOutput out = kv::RunControllerCycle(controller, in);
    good = out.Good;
    benchmark::DoNotOptimize(out.MainPage.get());
  }
  state.counters["good"] = good;
  fs::remove_all(dir);
}

BENCHMARK(CycleBetweenSamples)->ArgName("history")->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(HistorySection)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrivePageHistory)->ArgName("history")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

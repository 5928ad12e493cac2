// Timing of the SMART and statistics parsers on synthetic utility outputs of 64, 256 and
// 512 drives. Goals: 256 drives well under 50 ms, and 512 drives at most 2.5 times the time
// of 256 (the parsers must stay close to linear in the number of drives).
#include <benchmark/benchmark.h>

#include "model/kv_core.h"
#include "parse/smart_parser.h"
#include "parse/smart_synthetic.h"
#include "parse/stats_parser.h"

namespace {

kv::synth::TOptions Drives(int64_t n, bool sas_half) {
  kv::synth::TOptions o;
  o.Sas = sas_half ? static_cast<int>(n / 2) : 0;
  o.Sata = static_cast<int>(n) - o.Sas;
  return o;
}

void Report(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["kB"] = static_cast<double>(bytes) / 1024;
}

// Every drive SATA with 20-28 attributes, half of them naming their attributes.
void SmartSata(benchmark::State& state) {
  const std::string text = kv::synth::Smart(Drives(state.range(0), false));
  for (auto _ : state) {
    kv::TKVCore core;
    ParseSmart(text, core);
    benchmark::DoNotOptimize(core.SATASmart.Count());
  }
  Report(state, text.size());
}

void SmartMixed(benchmark::State& state) {
  const std::string text = kv::synth::Smart(Drives(state.range(0), true));
  for (auto _ : state) {
    kv::TKVCore core;
    ParseSmart(text, core);
    benchmark::DoNotOptimize(core.SASSmart.Count());
  }
  Report(state, text.size());
}

// Controller-log and cache statistics of the same controller: one logical drive per 8
// physical ones.
void Statistics(benchmark::State& state) {
  const auto o = Drives(state.range(0), true);
  const std::string text = kv::synth::Stats(o, static_cast<int>(state.range(0) / 8));
  for (auto _ : state) {
    kv::TKVCore core;
    ParseLogStats(text, core);
    ParseCacheStats(text, core);
    benchmark::DoNotOptimize(core.Stats.LDStats.Count());
  }
  Report(state, text.size());
}

BENCHMARK(SmartSata)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(SmartMixed)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(Statistics)->Arg(64)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

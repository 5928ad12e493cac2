// Timing of the configuration listing parser and BuildResult on hostile input: repeated
// blocks, long lines and random bytes of growing size. Each family reports its complexity;
// all of them must stay linear in the size of the text.
#include <benchmark/benchmark.h>

#include "base/core_log_writer.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_hostile_input.h"
#include "parse/config_parser.h"
#include "parse/task_parser.h"

namespace {

void ParseAndBuild(const std::string& text) {
  kv::TKVCore core;
  ParseConfig(text, core);
  ParseTasks(text, core);
  BuildResult(core);
  benchmark::DoNotOptimize(core.Result.HDDs.Count());
}

template <std::string (*Make)(size_t)>
void Run(benchmark::State& state) {
  kv::SetCoreLogSink(nullptr);
  const std::string text = Make(static_cast<size_t>(state.range(0)));
  for (auto _ : state) ParseAndBuild(text);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(static_cast<int64_t>(text.size()));
}

std::string Random(size_t bytes) { return kv::RandomListing(bytes, 7); }

void BM_RepeatedBlocks(benchmark::State& s) { Run<kv::RepeatedBlocksListing>(s); }
void BM_LongLines(benchmark::State& s) { Run<kv::LongLinesListing>(s); }
void BM_RandomBytes(benchmark::State& s) { Run<Random>(s); }

BENCHMARK(BM_RepeatedBlocks)->RangeMultiplier(4)->Range(160 << 10, 10 << 20)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_LongLines)->RangeMultiplier(4)->Range(16 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_RandomBytes)->RangeMultiplier(4)->Range(160 << 10, 10 << 20)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();

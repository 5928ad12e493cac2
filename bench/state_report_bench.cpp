// Timing of the state report writer on large models: every drive in a logical device and
// an enclosure slot, with a SATA attribute table and, for half of them, names of their own.
// The writer must stay linear in the number of drives.
#include <benchmark/benchmark.h>

#include <string>

#include "model/kv_core.h"
#include "model/smart_names.h"
#include "report/state_report.h"

namespace {

void FillModel(kv::TKVCore& core, int drives) {
  kv::TResultEnclosure& enc = core.Result.Enclosures.Add();
  enc.Id = "0";
  for (int n = 0; n < drives; ++n) {
    kv::TResultHDD& hdd = core.Result.HDDs.Add();
    hdd.Channel = std::to_string(n % 4);
    hdd.DeviceId = std::to_string(n);
    hdd.SerialNumber = "S" + hdd.DeviceId;
    hdd.Lines = {"State: Online", "Serial number: " + hdd.SerialNumber, "Size: 953869 MB"};
    hdd.Enclosure = &enc;
    enc.Slots.Add(n, n);
    if (n % 8 == 0) {
      kv::TResultLD& ld = core.Result.LDs.Add();
      ld.Number = std::to_string(n / 8);
      ld.Name = "LD " + ld.Number;
    }
    core.Result.LDs.Item(core.Result.LDs.Count() - 1).Members.Add(n, 0);
    auto& table = *core.SATASmartParams.FindOrAdd(hdd.Channel, hdd.DeviceId).Params;
    for (int a = 1; a <= 30; ++a) {
      table.Add(std::to_string(a), "100", "100", std::to_string(n + a));
      if (n % 2 == 0) core.SmartDescNames.AddIfNew(n, n % 4, a, "Vendor attribute " + std::to_string(a));
    }
  }
  kv::TKVStatsLDP stat;
  for (int i = 0; i < core.Result.LDs.Count(); ++i) {
    stat.Id = i;
    stat.BlocksRead = "12";
    stat.BlocksReadUnit = "GB";
    core.Stats.LDStats.Add(stat);
  }
}

void BM_ReportDrives(benchmark::State& state) {
  kv::TKVCore core;
  core.SmartNames = std::make_shared<const kv::TKVSmartNamesList>("[main]\ncount=1\n[p0]\nid=9\nname=POH\n");
  FillModel(core, static_cast<int>(state.range(0)));
  kv::TStringList lines;
  for (auto _ : state) {
    WriteStateReport(core, "1.0.0.1", lines);
    benchmark::DoNotOptimize(lines.size());
  }
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_ReportDrives)->RangeMultiplier(4)->Range(64, 16384)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();

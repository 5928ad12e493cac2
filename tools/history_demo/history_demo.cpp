// korvane_history_demo: 90 days of hourly drive history for the demo controller, so that the
// demo's drive pages have charts and its main page a growth warning from the first page on.
//
//   korvane_history_demo DEMO_FOLDER HISTORY_FILE [NOW]
//
// Reads get_config.txt, get_smartstats.txt, get_tasks.txt, get_logs_stats.txt and
// get_logs_cache.txt of the folder (the absent ones are skipped) with the monitor's own
// parsers and takes the sample the monitor would take, then writes one sample per hour for
// 90 days, the newest at the whole hour at or before NOW (Unix seconds, default the clock):
//   - temperatures (drives, controller, backup unit) wander a degree or two around a daily
//     rhythm and end at the listed value;
//   - power-on hours count up to the listed value;
//   - a drive that lists reallocated sectors (attribute 5 above 0) had none until 30 days
//     ago, then 8, then 24 from 14 days ago, and the listed count from 4 days ago: a step
//     inside the last week, which the monitor reports as growth. Its SMART word before the
//     first step is the one the listing would give without them;
//   - everything else stays as listed.
// The same arguments always write the same file (a fixed seed). A sample already in the file
// for a drive and time is kept.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "health/smart_verdict.h"
#include "history/history_store.h"
#include "history/history_values.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;
constexpr int kDays = 90;
constexpr int kSamples = kDays * 24;
// Reallocated sectors before the listed count: {age in days from which, count}.
constexpr std::array<std::pair<int64_t, int64_t>, 3> kReallocSteps = {{{30, 8}, {14, 24}, {4, -1}}};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The demo's model as a collection cycle builds it; `no_reallocations` zeroes every SATA
// attribute 5 first, for the verdict the drives had before their sectors went bad.
void BuildModel(const std::string& folder, bool no_reallocations, kv::TKVCore& core) {
  const std::string config = ReadText(folder + "/get_config.txt");
  kv::ParseConfig(config, core);
  if (const std::string t = ReadText(folder + "/get_smartstats.txt"); !t.empty()) kv::ParseSmart(t, core);
  if (const std::string t = ReadText(folder + "/get_tasks.txt"); !t.empty()) kv::ParseTasks(t, core);
  if (const std::string t = ReadText(folder + "/get_logs_stats.txt"); !t.empty()) kv::ParseLogStats(t, core);
  if (const std::string t = ReadText(folder + "/get_logs_cache.txt"); !t.empty()) kv::ParseCacheStats(t, core);
  if (no_reallocations) {
    for (int i = 0; i < core.SATASmartParams.Count(); ++i) {
      const auto& item = core.SATASmartParams.Item(i);
      for (kv::TKVSATASmartP& a : core.SATASmartParams.FindOrAdd(item.Channel, item.Id).Params->Attributes)
        if (a.Id == 5) a.Raw = "0";
    }
  }
  kv::BuildResult(core);
}

kv::THistorySample SampleOf(const std::string& folder, bool no_reallocations, int64_t time) {
  kv::TKVCore core;
  BuildModel(folder, no_reallocations, core);
  return kv::TakeHistorySample(core, kv::JudgeDrives(core, kv::DefaultDriveTemperatureMax()), 1, time);
}

// A temperature's offset from its listed value over the samples, oldest first: a daily swing
// of 1.5 degrees (warmest mid-afternoon, UTC) plus a slow walk held within 2 degrees, shifted
// so that the newest sample is the listed value.
std::vector<int64_t> TemperatureOffsets(std::mt19937& random, const std::vector<int64_t>& times) {
  std::vector<double> raw(times.size());
  double walk = 0;
  for (size_t i = 0; i < times.size(); ++i) {
    const double step = (static_cast<double>(random() % 1001) / 1000.0 - 0.5) * 0.6;
    walk = std::clamp(walk * 0.97 + step, -2.0, 2.0);
    const double hour = static_cast<double>(times[i] % kDay) / kHour;
    raw[i] = 1.5 * std::sin((hour - 9.0) / 24.0 * 2 * std::numbers::pi) + walk;
  }
  std::vector<int64_t> offsets(times.size());
  const double last = raw.empty() ? 0 : raw.back();
  for (size_t i = 0; i < times.size(); ++i) offsets[i] = std::lround(raw[i] - last);
  return offsets;
}

int64_t Reallocated(int64_t listed, int64_t age) {
  int64_t count = 0;
  for (const auto& [days, value] : kReallocSteps)
    if (age <= days * kDay) count = value < 0 ? listed : std::min(value, listed);
  return count;
}

std::string LocalStamp(int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: korvane_history_demo DEMO_FOLDER HISTORY_FILE [NOW]\n";
    return 2;
  }
  const std::string folder = argv[1];
  const std::string file = argv[2];
  const int64_t now = argc == 4 ? std::atoll(argv[3]) : static_cast<int64_t>(std::time(nullptr));
  if (now < kDays * kDay) {
    std::cerr << "NOW must be Unix seconds\n";
    return 2;
  }
  if (ReadText(folder + "/get_config.txt").empty()) {
    std::cerr << folder << "/get_config.txt: missing or empty\n";
    return 1;
  }

  const int64_t newest = now - now % kHour;
  std::vector<int64_t> times(kSamples);
  for (int i = 0; i < kSamples; ++i) times[static_cast<size_t>(i)] = newest - (kSamples - 1 - i) * kHour;
  const kv::THistorySample listed = SampleOf(folder, false, newest);
  const kv::THistorySample before = SampleOf(folder, true, newest);

  const int temperature = kv::KeptValueIndex("temperature");
  const int power_on = kv::KeptValueIndex("power_on_hours");
  const int realloc = kv::KeptValueIndex("attr_5");
  if (temperature < 0 || power_on < 0 || realloc < 0) {
    std::cerr << "the kept values lack temperature, power_on_hours or attr_5\n";
    return 1;
  }

  std::mt19937 random(20251209);  // fixed: the same file every time
  std::vector<std::vector<int64_t>> drive_temps;
  for (size_t d = 0; d < listed.Drives.size(); ++d) drive_temps.push_back(TemperatureOffsets(random, times));
  const std::vector<int64_t> controller_temps = TemperatureOffsets(random, times);
  const std::vector<int64_t> backup_temps = TemperatureOffsets(random, times);

  std::string moved_to, error;
  const auto store = kv::THistoryStore::Open(file, LocalStamp(now), moved_to, error);
  if (!store) {
    std::cerr << file << ": " << error << "\n";
    return 1;
  }
  if (!moved_to.empty()) std::cerr << file << " was not a sound history file; moved to " << moved_to << "\n";

  std::vector<kv::THistorySample> batch;  // a day per transaction
  for (size_t i = 0; i < times.size(); ++i) {
    const int64_t age = newest - times[i];
    kv::THistorySample s = listed;
    s.Time = times[i];
    if (s.ControllerValues.Temperature) *s.ControllerValues.Temperature += controller_temps[i];
    if (s.ControllerValues.BackupTemperature) *s.ControllerValues.BackupTemperature += backup_temps[i];
    for (size_t d = 0; d < s.Drives.size(); ++d) {
      kv::TDriveSample& drive = s.Drives[d];
      auto& v = drive.Values;
      if (v[temperature]) *v[temperature] += drive_temps[d][i];
      if (v[power_on]) *v[power_on] = std::max<int64_t>(0, *v[power_on] - age / kHour);
      if (v[realloc] && *v[realloc] > 0) {
        *v[realloc] = Reallocated(*v[realloc], age);
        if (*v[realloc] == 0 && d < before.Drives.size()) drive.Smart = before.Drives[d].Smart;
      }
    }
    batch.push_back(std::move(s));
    if (batch.size() == 24 || i + 1 == times.size()) {
      if (store->Write(batch, error) != kv::THistoryWrite::Written) {
        std::cerr << file << ": " << error << "\n";
        return 1;
      }
      batch.clear();
    }
  }
  std::printf("%s: %d hourly samples of %zu drives, %s to %s\n", file.c_str(), kSamples, listed.Drives.size(),
              LocalStamp(times.front()).c_str(), LocalStamp(times.back()).c_str());
  return 0;
}

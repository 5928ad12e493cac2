// Timing of the drive history store on a real file in the temporary folder: one interval's
// write of 512 drives (on a new file and on one holding a month of them, where each drive's
// row lands on a page of its own), a chart's Series over two years of one drive, and the
// file's size per drive-year with the time Open takes to check such a file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "history/history_store.h"

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kStart = 1700000000 / kHour * kHour;

class TScratchFile {
 public:
  explicit TScratchFile(const std::string& name) {
    folder_ = std::filesystem::temp_directory_path() / ("kv-history-bench-" + name);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  ~TScratchFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Path() const { return (folder_ / "history.db").string(); }

 private:
  std::filesystem::path folder_;
};

std::unique_ptr<kv::THistoryStore> OpenStore(const std::string& path) {
  std::string moved, error;
  auto store = kv::THistoryStore::Open(path, "20260101-000000", moved, error);
  if (!store) throw std::runtime_error(error);
  return store;
}

// A controller's sample as a real one looks: serials of 15 characters, most counters zero.
kv::THistorySample Sample(int64_t time, int drives) {
  kv::THistorySample sample;
  sample.Time = time;
  sample.ControllerValues = {"Optimal", 48, "Optimal", 30};
  sample.Devices = {{"logical", "0", "Optimal", "0,0 0,1 0,2 0,3"}};
  const int64_t hour = (time - kStart) / kHour;
  for (int n = 0; n < drives; ++n) {
    kv::TDriveSample drive;
    drive.Serial = "WD-WCC4E" + std::to_string(1000000 + n);
    drive.Drive = drive.Serial;
    drive.Channel = std::to_string(n / 128);
    drive.Id = std::to_string(n % 128);
    drive.State = "Online";
    drive.Smart = "Good";
    drive.Values[0] = 30 + (hour + n) % 12;  // temperature
    drive.Values[1] = 20000 + hour;          // power-on hours
    for (size_t v = 2; v < kv::kKeptDriveValueCount; ++v) drive.Values[v] = n % 50 == 0 ? hour / 500 : 0;
    sample.Drives.push_back(std::move(drive));
  }
  return sample;
}

// `hours` hourly samples of `drives` drives from kStart, a day per transaction.
void Fill(kv::THistoryStore& store, int drives, int64_t hours) {
  for (int64_t hour = 0; hour < hours; hour += 24) {
    std::vector<kv::THistorySample> day;
    for (int64_t h = hour; h < std::min(hours, hour + 24); ++h) day.push_back(Sample(kStart + h * kHour, drives));
    std::string error;
    if (store.Write(day, error) != kv::THistoryWrite::Written) throw std::runtime_error(error);
  }
}

// One interval of 512 drives in one transaction, synchronous=FULL: what the writer does
// each hour. Argument: days of history already in the file.
void BM_WriteInterval512Drives(benchmark::State& state) {
  TScratchFile scratch("write");
  auto store = OpenStore(scratch.Path());
  const int64_t days = state.range(0);
  Fill(*store, 512, days * 24);
  int64_t time = kStart + days * 24 * kHour;
  for (auto _ : state) {
    state.PauseTiming();
    const kv::THistorySample sample = Sample(time, 512);
    time += kHour;
    state.ResumeTiming();
    std::string error;
    if (store->Write(sample, error) != kv::THistoryWrite::Written) state.SkipWithError(error.c_str());
  }
  state.counters["drives"] = 512;
}
BENCHMARK(BM_WriteInterval512Drives)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime();

// A chart: two years of hourly samples of one drive brought down to 300 points.
void BM_Series2YearsTo300Points(benchmark::State& state) {
  TScratchFile scratch("series");
  auto store = OpenStore(scratch.Path());
  constexpr int64_t kHours = 2 * 8760;
  Fill(*store, 1, kHours);
  const std::string drive = Sample(kStart, 1).Drives[0].Drive;
  for (auto _ : state) {
    const auto points = store->Series(drive, 0, kStart, kStart + kHours * kHour, 300);
    if (points.size() != 300) state.SkipWithError("not 300 points");
    benchmark::DoNotOptimize(points.data());
  }
  state.counters["rows"] = kHours;
}
BENCHMARK(BM_Series2YearsTo300Points)->Unit(benchmark::kMillisecond);

// Once: a year of hourly samples of 16 drives; the closed file's size per drive-year, and
// the time Open takes on it (most of it the quick_check, which grows with the file).
void BM_FileSizePerDriveYear(benchmark::State& state) {
  constexpr int kDrives = 16;
  for (auto _ : state) {
    TScratchFile scratch("size");
    {
      auto store = OpenStore(scratch.Path());
      Fill(*store, kDrives, 8760);
    }
    const auto start = std::chrono::steady_clock::now();
    OpenStore(scratch.Path()).reset();
    const std::chrono::duration<double> open = std::chrono::steady_clock::now() - start;
    const auto bytes = static_cast<double>(std::filesystem::file_size(scratch.Path()));
    state.counters["MB_per_drive_year"] = bytes / kDrives / 1e6;
    state.counters["bytes_per_row"] = bytes / kDrives / 8760;
    state.counters["open_s"] = open.count();
  }
  state.SetLabel(std::string("SQLite ") + kv::HistoryLibraryVersion());
}
BENCHMARK(BM_FileSizePerDriveYear)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

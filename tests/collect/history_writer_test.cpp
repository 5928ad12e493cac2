#include "collect/history_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "service/temp_folder.h"

namespace kv {
namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;

size_t Index(const char* column) { return static_cast<size_t>(KeptValueIndex(column)); }

TStoredDriveRow Row(int64_t time, int64_t temperature, int64_t reallocated) {
  TStoredDriveRow row;
  row.Time = time;
  row.Drive = "S1";
  row.Values[Index("temperature")] = temperature;
  row.Values[Index("attr_5")] = reallocated;
  row.Values[Index("attr_197")] = 0;
  return row;
}

// The charts take the whole history of a drive: what each range holds, which values are
// shown, and the values 24 h and 30 days back.
TEST(HistoryChartInputs, RangesValuesAndChangesFollowTheRows) {
  std::vector<TStoredDriveRow> rows;
  const int64_t start = 1'700'000'000;
  for (int64_t h = 0; h < 100 * 24; ++h) rows.push_back(Row(start + h * kHour, 30 + h % 5, h >= 99 * 24 ? 8 : 0));
  rows[50 * 24].Values[Index("temperature")] = 70;  // a spike 50 days ago
  const auto inputs = ChartInputs(rows, 300);
  ASSERT_EQ(inputs.size(), 2u);  // temperature always, attribute 5 grew; attribute 197 stayed 0
  EXPECT_EQ(inputs[0].ValueIndex, Index("temperature"));
  EXPECT_EQ(inputs[1].ValueIndex, Index("attr_5"));
  const THistoryChartInput& t = inputs[0];
  EXPECT_EQ(t.Ranges[0].size(), 7u * 24 + 1);  // a week of hours, as they are
  EXPECT_LE(t.Ranges[1].size(), 300u);
  EXPECT_LE(t.Ranges[2].size(), 300u);
  int64_t highest = 0;
  for (const TSeriesPoint& p : t.Ranges[2]) highest = std::max(highest, p.Value);
  EXPECT_EQ(highest, 70);  // thinned out, the spike stays
  const THistoryChartInput& a = inputs[1];
  EXPECT_EQ(a.Last, 8);
  EXPECT_EQ(a.Ago24h, 0);
  EXPECT_EQ(a.Ago30d, 0);
  EXPECT_TRUE(ChartInputs({}, 300).empty());
  // One sample still draws its charts.
  const auto one = ChartInputs({Row(start, 31, 0)}, 300);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].Ranges[0].size(), 1u);
  EXPECT_EQ(one[0].Ago24h, std::nullopt);
}

THistorySample Sample(int64_t time) {
  THistorySample sample;
  sample.Time = time;
  sample.Controller = 2;
  TDriveSample drive;
  drive.Drive = drive.Serial = "S1";
  drive.State = "Online";
  drive.Smart = "Good";
  drive.Values[Index("temperature")] = 35;
  sample.Drives.push_back(drive);
  return sample;
}

// The writer's thread: a damaged file is started anew and told once; a written sample
// gives its drives' sections; the week found at the start is handed over once.
TEST(HistoryWriter, WritesRendersAndRecoversAFileThatIsNoDatabase) {
  testing::TempFolder folder;
  const std::string path = folder.File("history.db");
  std::ofstream(path, std::ios::binary) << std::string(4096, 'x');
  const int64_t now = 1'700'000'000;
  THistoryWriterOptions options;
  options.Path = path;
  options.UtcNow = [now] { return now; };
  options.LocalStamp = [] { return std::string("20261210-031000"); };
  {
    THistoryWriter writer(options);
    writer.Wait();
    const auto changes = writer.TakeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].Kind, TChangeKind::HistoryRestarted);
    EXPECT_TRUE(writer.TakeChanges().empty());
    EXPECT_TRUE(std::filesystem::exists(path + ".damaged-20261210-031000"));
    EXPECT_EQ(writer.Sections(2), nullptr);
    writer.Submit(Sample(now - kDay));
    writer.Wait();
    const auto sections = writer.Sections(2);
    ASSERT_NE(sections, nullptr);
    ASSERT_EQ(sections->count("S1"), 1u);
    EXPECT_NE(sections->at("S1").find("<svg"), std::string::npos);
  }
  // The next start finds the sample within the week and renders it at once.
  THistoryWriter again(options);
  again.Wait();
  EXPECT_TRUE(again.TakeChanges().empty());
  const auto rows = again.TakeWindowRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Controller, 2);
  EXPECT_TRUE(again.TakeWindowRows().empty());
  ASSERT_NE(again.Sections(2), nullptr);
  // A restart within the hour already sampled adds no second sample of it; the next hour does.
  again.Submit(Sample(now - kDay + 60));
  again.Submit(Sample(now - kDay + kHour));
  again.Wait();
  std::string error;
  const auto store = THistoryStore::OpenReadOnly(path, error);
  ASSERT_NE(store, nullptr) << error;
  std::vector<int64_t> times;
  ASSERT_TRUE(store->ReadDriveRows({}, [&times](const TStoredDriveRow& row) {
    times.push_back(row.Time);
    return true;
  }, error));
  EXPECT_EQ(times, (std::vector<int64_t>{now - kDay, now - kDay + kHour}));
}

}  // namespace
}  // namespace kv

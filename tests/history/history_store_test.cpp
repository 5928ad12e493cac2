// The history store on real SQLite files in a scratch folder: what is written reads back,
// a damaged file is moved aside, a lock held elsewhere gives Skipped in bounded time.
#include "history/history_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "service/temp_folder.h"
#include "test_files.h"

namespace kv {
namespace {

constexpr size_t kLast = kKeptDriveValueCount - 1;
constexpr char kStamp[] = "20260102-030405";

TDriveSample Drive(const std::string& key, const std::string& serial, std::optional<int64_t> first) {
  TDriveSample drive;
  drive.Drive = key;
  drive.Serial = serial;
  drive.Channel = "0";
  drive.Id = "3";
  drive.State = "Online";
  drive.Smart = "Good";
  drive.Values[0] = first;
  return drive;
}

THistorySample Sample(int64_t time, std::vector<TDriveSample> drives, int controller = 1) {
  THistorySample sample;
  sample.Time = time;
  sample.Controller = controller;
  sample.ControllerValues = {"Optimal", 41, "Charged", std::nullopt};
  sample.Devices = {{"logical", "0", "Optimal", "0,0 0,1"}};
  sample.Drives = std::move(drives);
  return sample;
}

class HistoryStore : public ::testing::Test {
 protected:
  std::unique_ptr<THistoryStore> OpenStore() {
    std::string moved, error;
    auto store = THistoryStore::Open(path_, kStamp, moved, error);
    EXPECT_TRUE(store) << error;
    EXPECT_EQ(moved, "");
    return store;
  }
  void MustWrite(THistoryStore& store, const THistorySample& sample) {
    std::string error;
    ASSERT_EQ(store.Write(sample, error), THistoryWrite::Written) << error;
  }
  static std::vector<TStoredDriveRow> Rows(THistoryStore& store, const THistoryQuery& query = {}) {
    std::vector<TStoredDriveRow> rows;
    std::string error;
    EXPECT_TRUE(store.ReadDriveRows(
        query, [&](const TStoredDriveRow& row) { return rows.push_back(row), true; }, error))
        << error;
    return rows;
  }
  // A connection of "another program" on the same file.
  sqlite3* Other() {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    return db;
  }

  testing::TempFolder folder_;
  std::string path_ = folder_.File("history.db");
};

TEST_F(HistoryStore, WrittenSamplesReadBackOrderedByDriveThenTimeAndAFirstSampleIsKept) {
  auto store = OpenStore();
  ASSERT_TRUE(store);
  TDriveSample full = Drive("SN-B", "SN-B", 35);
  full.Values[kLast] = INT64_MAX;
  TDriveSample bare = Drive("c1:0,3", "SN-DUP", std::nullopt);  // a repeated serial: keyed by its place
  MustWrite(*store, Sample(200, {full, bare}));
  MustWrite(*store, Sample(100, {Drive("SN-B", "SN-B", 30)}));
  MustWrite(*store, Sample(200, {Drive("SN-B", "SN-B", 99)}));  // again at 200: the first stays
  MustWrite(*store, Sample(150, {Drive("SN-C", "SN-C", 20)}, 2));

  const auto rows = Rows(*store);
  ASSERT_EQ(rows.size(), 4u);
  std::vector<std::pair<std::string, int64_t>> order;
  for (const auto& row : rows) order.emplace_back(row.Drive, row.Time);
  EXPECT_EQ(order, (decltype(order){{"SN-B", 100}, {"SN-B", 200}, {"SN-C", 150}, {"c1:0,3", 200}}));
  EXPECT_EQ(rows[1].Values[0], 35);
  EXPECT_EQ(rows[1].Values[kLast], INT64_MAX);
  EXPECT_EQ(rows[1].Values[1], std::nullopt);
  EXPECT_EQ(rows[2].Controller, 2);
  const TStoredDriveRow& dup = rows[3];
  EXPECT_EQ(dup.Serial, "SN-DUP");
  EXPECT_EQ(dup.Channel + "," + dup.Id + " " + dup.State + " " + dup.Smart, "0,3 Online Good");
  for (const auto& value : dup.Values) EXPECT_EQ(value, std::nullopt);

  EXPECT_EQ(store->LastSampleTimes(), (std::map<int, int64_t>{{1, 200}, {2, 150}}));
  EXPECT_EQ(store->DriveRowAt("SN-B", 99), std::nullopt);
  EXPECT_EQ(store->DriveRowAt("SN-B", 199)->Time, 100);
  EXPECT_EQ(store->DriveRowAt("SN-B", 5000)->Values[0], 35);
}

TEST_F(HistoryStore, QueriesPickDrivesBySerialOrKeyWithinInclusiveTimes) {
  auto store = OpenStore();
  ASSERT_TRUE(store);
  for (int64_t t : {100, 200, 300}) {
    MustWrite(*store,
              Sample(t, {Drive("SN-A", "SN-A", t), Drive("c1:0,3", "SN-DUP", t), Drive("c1:0,4", "SN-DUP", t)}));
  }
  struct Case {
    THistoryQuery Query;
    std::vector<std::string> Expected;  // drive@time
  };
  const Case cases[] = {
      {{.Serial = "SN-DUP", .From = 200, .To = 200}, {"c1:0,3@200", "c1:0,4@200"}},
      {{.Serial = "c1:0,4", .From = 300}, {"c1:0,4@300"}},
      {{.Serial = "SN-A", .To = 100}, {"SN-A@100"}},
      {{.Serial = "none"}, {}},
      {{.Drive = "c1:0,3", .From = 150}, {"c1:0,3@200", "c1:0,3@300"}},
      {{.Serial = "SN-A", .Drive = "c1:0,3"}, {}},
      {{.From = 250, .To = 300}, {"SN-A@300", "c1:0,3@300", "c1:0,4@300"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const auto& row : Rows(*store, c.Query)) got.push_back(row.Drive + "@" + std::to_string(row.Time));
    EXPECT_EQ(got, c.Expected) << c.Query.Serial << "|" << c.Query.Drive << " " << c.Query.From;
  }
  int seen = 0;
  std::string error;
  EXPECT_TRUE(store->ReadDriveRows(
      {}, [&](const TStoredDriveRow&) { return ++seen < 2; }, error));
  EXPECT_EQ(seen, 2) << "false from the callback stops the read";
}

TEST_F(HistoryStore, PurgeDeletesOnlyOlderSamples) {
  auto store = OpenStore();
  ASSERT_TRUE(store);
  for (int64_t t : {100, 200, 300}) MustWrite(*store, Sample(t, {Drive("SN-A", "SN-A", t)}));
  std::string error;
  ASSERT_TRUE(store->Purge(200, error)) << error;
  const auto rows = Rows(*store);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Time, 200);
  EXPECT_EQ(store->LastSampleTimes(), (std::map<int, int64_t>{{1, 300}}));
  ASSERT_TRUE(store->Purge(1000, error)) << error;
  EXPECT_TRUE(Rows(*store).empty());
  EXPECT_TRUE(store->LastSampleTimes().empty());
}

TEST_F(HistoryStore, SeriesKeepsTheLargestValueOfEachSpanSoASpikeShows) {
  auto store = OpenStore();
  ASSERT_TRUE(store);
  std::vector<THistorySample> samples;
  for (int64_t i = 0; i < 1000; ++i) {
    // One hour in ten reports nothing; one hour is a spike.
    samples.push_back(
        Sample(i * 3600, {Drive("SN-A", "SN-A", i % 10 == 9 ? std::nullopt : std::optional(30 + i % 3))}));
  }
  samples[537].Drives[0].Values[0] = 95;
  std::string error;
  ASSERT_EQ(store->Write(samples, error), THistoryWrite::Written) << error;

  const auto all = store->Series("SN-A", 0, 0, INT64_MAX, 5000);
  EXPECT_EQ(all.size(), 900u) << "samples without the value are left out";
  const auto few = store->Series("SN-A", 0, 0, INT64_MAX, 100);
  ASSERT_LE(few.size(), 100u);
  ASSERT_GE(few.size(), 95u);
  int spikes = 0;
  for (size_t i = 0; i < few.size(); ++i) {
    if (few[i].Value == 95) {
      EXPECT_EQ(few[i].Time, 537 * 3600);
      ++spikes;
    } else {
      EXPECT_EQ(few[i].Value, 32);
    }
    if (i > 0) {
      EXPECT_LT(few[i - 1].Time, few[i].Time);
    }
  }
  EXPECT_EQ(spikes, 1);
  EXPECT_EQ(store->Series("SN-A", 0, 3600, 7200, 100).size(), 2u);
  EXPECT_TRUE(store->Series("SN-A", kKeptDriveValueCount, 0, INT64_MAX, 100).empty());
  EXPECT_TRUE(store->Series("SN-A", 0, 0, INT64_MAX, 0).empty());
}

// A database of a few pages, closed cleanly (no WAL left), for the damage cases.
void MakeDatabase(const std::string& path) {
  std::string moved, error;
  auto store = THistoryStore::Open(path, kStamp, moved, error);
  ASSERT_TRUE(store) << error;
  std::vector<TDriveSample> drives;
  for (int i = 0; i < 200; ++i) drives.push_back(Drive("SERIAL-NUMBER-" + std::to_string(i), "", i));
  ASSERT_EQ(store->Write(Sample(100, drives), error), THistoryWrite::Written) << error;
}

TEST_F(HistoryStore, ADamagedFileIsMovedAsideWithItsJournalAndANewOneWorks) {
  struct Case {
    const char* Name;
    std::function<std::string(const std::string&)> Damage;  // the sound file's bytes -> the damaged file
  };
  const Case cases[] = {
      {"garbage", [](const std::string&) { return std::string(8192, '\x5a'); }},
      {"cut in half", [](const std::string& db) { return db.substr(0, db.size() / 2); }},
      {"a page overwritten",
       [](const std::string& db) { return db.substr(0, 8192) + std::string(4096, '\xff') + db.substr(12288); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = folder_.File(std::string(c.Name) + ".db");
    MakeDatabase(path);
    const std::string damaged = c.Damage(test::ReadFile(path));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    std::ofstream(path + "-wal", std::ios::binary) << "not a journal";
    std::string moved, error;
    auto store = THistoryStore::Open(path, kStamp, moved, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(moved, path + ".damaged-" + kStamp);
    EXPECT_EQ(test::ReadFile(moved), damaged);
    EXPECT_EQ(test::ReadFile(moved + "-wal"), "not a journal");
    MustWrite(*store, Sample(500, {Drive("SN-A", "SN-A", 1)}));
    EXPECT_EQ(Rows(*store).size(), 1u);
  }
}

TEST_F(HistoryStore, ALockHeldElsewhereSkipsTheWriteInBoundedTimeWhileReadersStillRead) {
  auto store = OpenStore();
  ASSERT_TRUE(store);
  MustWrite(*store, Sample(100, {Drive("SN-A", "SN-A", 1)}));
  std::string error;
  EXPECT_FALSE(THistoryStore::OpenReadOnly(folder_.File("missing.db"), error));
  EXPECT_NE(error, "");
  // A file that cannot be opened is not a damaged one: nothing is moved.
  const std::string unreachable = folder_.File("no-folder/history.db");
  std::string moved;
  EXPECT_FALSE(THistoryStore::Open(unreachable, kStamp, moved, error));
  EXPECT_EQ(moved, "");
  EXPECT_NE(error.find(unreachable), std::string::npos) << error;
  auto reader = THistoryStore::OpenReadOnly(path_, error);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(Rows(*reader).size(), 1u);

  sqlite3* other = Other();
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; DELETE FROM controller_samples", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(store->Write(Sample(200, {Drive("SN-A", "SN-A", 2)}), error), THistoryWrite::Skipped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(error.find("locked"), std::string::npos) << error;
  EXPECT_EQ(Rows(*reader).size(), 1u) << "a writer's lock does not stop a WAL reader";

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  MustWrite(*store, Sample(200, {Drive("SN-A", "SN-A", 2)}));
  const auto rows = Rows(*reader);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Values[0], 2);
}

TEST_F(HistoryStore, AnOlderFileGainsTheKeptColumnItLacks) {
  // The drive table as a version without the last kept value made it.
  std::string create =
      "CREATE TABLE drive_samples (time INTEGER NOT NULL, controller INTEGER NOT NULL, "
      "drive TEXT NOT NULL, serial TEXT, channel TEXT, id TEXT, state TEXT, smart TEXT";
  for (size_t i = 0; i < kLast; ++i) create += std::string(", ") + KeptDriveValues()[i].Column + " INTEGER";
  create +=
      ", PRIMARY KEY (drive, time)) WITHOUT ROWID;"
      "INSERT INTO drive_samples (time, controller, drive, serial) VALUES (100, 1, 'SN-A', 'SN-A')";
  sqlite3* old = Other();
  ASSERT_EQ(sqlite3_exec(old, create.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(old);
  sqlite3_close(old);

  auto store = OpenStore();
  ASSERT_TRUE(store);
  TDriveSample drive = Drive("SN-A", "SN-A", 5);
  drive.Values[kLast] = 7;
  MustWrite(*store, Sample(200, {drive}));
  const auto rows = Rows(*store);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Values[kLast], std::nullopt);
  EXPECT_EQ(rows[1].Values[kLast], 7);
  EXPECT_NE(std::string(HistoryLibraryVersion()), "");
}

}  // namespace
}  // namespace kv

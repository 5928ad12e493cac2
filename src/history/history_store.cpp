#include "history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <span>
#include <utility>

#include "platform/codepage.h"
#include "platform/files.h"

namespace kv {
namespace {

// A lock another program holds makes a write give up after this long, never hang.
constexpr int kBusyMilliseconds = 2000;
// A large purge leaves no WAL file of its size behind once it is checkpointed.
constexpr const char* kJournalLimit = "PRAGMA journal_size_limit=16777216";

struct TColumn {
  const char* Name;
  const char* Type;
};

// The columns every file has; the drive table's kept values follow KeptDriveValues().
constexpr TColumn kDriveColumns[] = {{"time", "INTEGER NOT NULL"},
                                     {"controller", "INTEGER NOT NULL"},
                                     {"drive", "TEXT NOT NULL"},
                                     {"serial", "TEXT"},
                                     {"channel", "TEXT"},
                                     {"id", "TEXT"},
                                     {"state", "TEXT"},
                                     {"smart", "TEXT"}};
constexpr TColumn kDeviceColumns[] = {{"time", "INTEGER NOT NULL"}, {"controller", "INTEGER NOT NULL"},
                                      {"kind", "TEXT NOT NULL"},    {"number", "TEXT NOT NULL"},
                                      {"status", "TEXT"},           {"members", "TEXT"}};
constexpr TColumn kControllerColumns[] = {{"time", "INTEGER NOT NULL"}, {"controller", "INTEGER NOT NULL"},
                                          {"status", "TEXT"},           {"temperature", "INTEGER"},
                                          {"backup_status", "TEXT"},    {"backup_temperature", "INTEGER"}};
constexpr size_t kDriveFixedColumns = std::size(kDriveColumns);

struct TTable {
  const char* Name;
  std::vector<TColumn> Columns;
  const char* Key;
};

std::vector<TTable> Tables() {
  std::vector<TColumn> drive(std::begin(kDriveColumns), std::end(kDriveColumns));
  for (const TKeptValue& kept : KeptDriveValues()) drive.push_back({kept.Column, "INTEGER"});
  return {{"drive_samples", drive, "drive, time"},
          {"device_samples", {std::begin(kDeviceColumns), std::end(kDeviceColumns)}, "controller, kind, number, time"},
          {"controller_samples", {std::begin(kControllerColumns), std::end(kControllerColumns)}, "controller, time"}};
}

// Names come from the tables above, never from a file or a request; quoted all the same.
std::string Quoted(const char* name) { return std::string("\"") + name + "\""; }

std::string DriveSelectList() {
  std::string list;
  for (const TColumn& column : kDriveColumns) list += (list.empty() ? "" : ", ") + Quoted(column.Name);
  for (const TKeptValue& kept : KeptDriveValues()) list += ", " + Quoted(kept.Column);
  return list;
}

bool IsDamage(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

class TStatement {
 public:
  TStatement(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
  ~TStatement() { sqlite3_finalize(stmt_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  bool Prepared() const { return rc_ == SQLITE_OK; }
  int PrepareCode() const { return rc_; }
  sqlite3_stmt* operator*() const { return stmt_; }

  void Bind(int at, int64_t value) { sqlite3_bind_int64(stmt_, at, value); }
  void Bind(int at, const std::string& text) {
    sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void Bind(int at, const std::optional<int64_t>& value) {
    if (value) {
      sqlite3_bind_int64(stmt_, at, *value);
    } else {
      sqlite3_bind_null(stmt_, at);
    }
  }
  // One step of an INSERT with these values bound in order: SQLITE_DONE, else the error;
  // the statement is ready again.
  template <typename... TValues>
  int Run(const TValues&... values) {
    int at = 0;
    (Bind(++at, values), ...);
    return Run();
  }
  int Run() {
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rc;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

std::string Text(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column))) : std::string();
}

TStoredDriveRow DriveRow(sqlite3_stmt* stmt) {
  TStoredDriveRow row;
  row.Time = sqlite3_column_int64(stmt, 0);
  row.Controller = sqlite3_column_int(stmt, 1);
  row.Drive = Text(stmt, 2);
  row.Serial = Text(stmt, 3);
  row.Channel = Text(stmt, 4);
  row.Id = Text(stmt, 5);
  row.State = Text(stmt, 6);
  row.Smart = Text(stmt, 7);
  for (size_t i = 0; i < kKeptDriveValueCount; ++i) {
    const int column = static_cast<int>(kDriveFixedColumns + i);
    if (sqlite3_column_type(stmt, column) != SQLITE_NULL) row.Values[i] = sqlite3_column_int64(stmt, column);
  }
  return row;
}

std::string Message(sqlite3* db, const std::string& operation) {
  return operation + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

// Runs statements that return no rows (or whose rows do not matter); the first error's code.
int Execute(sqlite3* db, const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }

// Creates the tables a file lacks and adds the columns an older file lacks.
int MakeSchema(sqlite3* db) {
  int rc = Execute(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return rc;
  for (const TTable& table : Tables()) {
    std::string create = std::string("CREATE TABLE IF NOT EXISTS ") + table.Name + " (";
    for (const TColumn& column : table.Columns) create += Quoted(column.Name) + " " + column.Type + ", ";
    create += std::string("PRIMARY KEY (") + table.Key + ")) WITHOUT ROWID";
    rc = Execute(db, create);
    if (rc != SQLITE_OK) break;
    std::set<std::string> present;
    {
      TStatement info(db, std::string("PRAGMA table_info(") + table.Name + ")");
      if (!info.Prepared()) {
        rc = info.PrepareCode();
        break;
      }
      while ((rc = sqlite3_step(*info)) == SQLITE_ROW) present.insert(Text(*info, 1));
      if (rc != SQLITE_DONE) break;
      rc = SQLITE_OK;
    }
    for (const TColumn& column : table.Columns) {
      if (present.count(column.Name)) continue;
      // An added column cannot be NOT NULL; only the key columns are, and they are never added.
      rc = Execute(db, std::string("ALTER TABLE ") + table.Name + " ADD COLUMN " + Quoted(column.Name) + " " +
                           (std::string(column.Type).starts_with("TEXT") ? "TEXT" : "INTEGER"));
      if (rc != SQLITE_OK) break;
    }
    if (rc != SQLITE_OK) break;
    // Purge deletes by time; the all-drives export lists the drives of a time range.
    rc = Execute(db, std::string("CREATE INDEX IF NOT EXISTS ") + table.Name + "_time ON " + table.Name + " (time)");
    if (rc != SQLITE_OK) break;
  }
  // Drives whose key is not their serial (serials repeated or missing), for reads by serial.
  if (rc == SQLITE_OK) {
    rc = Execute(db, "CREATE INDEX IF NOT EXISTS drive_samples_serial ON drive_samples (serial) WHERE serial <> drive");
  }
  if (rc != SQLITE_OK) {
    Execute(db, "ROLLBACK");
    return rc;
  }
  return Execute(db, "COMMIT");
}

// quick_check: SQLITE_OK when the file is sound; SQLITE_CORRUPT with its first finding
// in `fault` when it is not.
int QuickCheck(sqlite3* db, std::string& fault) {
  TStatement check(db, "PRAGMA quick_check");
  if (!check.Prepared()) return check.PrepareCode();
  const int rc = sqlite3_step(*check);
  if (rc != SQLITE_ROW) return rc;
  fault = Text(*check, 0);
  return fault == "ok" ? SQLITE_OK : SQLITE_CORRUPT;
}

enum class TOpenOutcome { Opened, Damaged, Failed };

// Opens and readies the file; Damaged when it is not a sound database.
TOpenOutcome OpenWritable(const std::string& path, sqlite3*& db, std::string& error) {
  db = nullptr;
  int rc =
      sqlite3_open_v2(platform::FileNameToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  const char* step = "opening the history file";
  std::string fault;
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    const std::pair<const char*, std::string> steps[] = {
        {"setting the WAL journal", "PRAGMA journal_mode=WAL"},
        {"setting synchronous=FULL", "PRAGMA synchronous=FULL"},
        {"limiting the journal", kJournalLimit},
    };
    for (const auto& [what, sql] : steps) {
      step = what;
      if ((rc = Execute(db, sql)) != SQLITE_OK) break;
    }
    if (rc == SQLITE_OK) {
      step = "checking the history file";
      rc = QuickCheck(db, fault);
    }
    if (rc == SQLITE_OK) {
      step = "creating the history tables";
      rc = MakeSchema(db);
    }
  }
  if (rc == SQLITE_OK) return TOpenOutcome::Opened;
  error = path + ": " + (rc == SQLITE_CORRUPT && !fault.empty() ? std::string(step) + ": " + fault : Message(db, step));
  // A damaged file is moved aside as found: closing must not checkpoint its WAL into it.
  if (db) sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close_v2(db);
  db = nullptr;
  return IsDamage(rc) ? TOpenOutcome::Damaged : TOpenOutcome::Failed;
}

// The journal files that belong to a database file.
constexpr const char* kCompanions[] = {"-wal", "-shm", "-journal"};

// The rows of a failed write are undone; the outcome follows the error's kind.
THistoryWrite WriteFailed(sqlite3* db, int rc, const std::string& operation, std::string& error) {
  error = Message(db, operation);
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  return IsDamage(rc) ? THistoryWrite::Damaged : THistoryWrite::Skipped;
}

THistoryWrite WriteSamples(sqlite3* db, std::span<const THistorySample> samples, std::string& error) {
  std::string drive_sql = "INSERT OR IGNORE INTO drive_samples (" + DriveSelectList() + ") VALUES (?";
  for (size_t i = 1; i < kDriveFixedColumns + kKeptDriveValueCount; ++i) drive_sql += ", ?";
  drive_sql += ")";
  TStatement drive(db, drive_sql);
  TStatement device(db,
                    "INSERT OR IGNORE INTO device_samples (time, controller, kind, number, status, members) "
                    "VALUES (?, ?, ?, ?, ?, ?)");
  TStatement controller(db,
                        "INSERT OR IGNORE INTO controller_samples (time, controller, status, temperature, "
                        "backup_status, backup_temperature) VALUES (?, ?, ?, ?, ?, ?)");
  for (const TStatement* statement : {&drive, &device, &controller}) {
    if (!statement->Prepared()) return WriteFailed(db, statement->PrepareCode(), "preparing the history write", error);
  }
  int rc = Execute(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return WriteFailed(db, rc, "starting the history write", error);
  for (const THistorySample& sample : samples) {
    const std::string operation = "writing the history sample of controller " + std::to_string(sample.Controller);
    const int64_t time = sample.Time;
    const int64_t number = sample.Controller;
    const TControllerSample& values = sample.ControllerValues;
    rc = controller.Run(time, number, values.Status, values.Temperature, values.BackupStatus, values.BackupTemperature);
    if (rc != SQLITE_DONE) return WriteFailed(db, rc, operation, error);
    for (const TDeviceSample& one : sample.Devices) {
      if ((rc = device.Run(time, number, one.Kind, one.Number, one.Status, one.Members)) != SQLITE_DONE) {
        return WriteFailed(db, rc, operation, error);
      }
    }
    for (const TDriveSample& one : sample.Drives) {
      for (size_t i = 0; i < kKeptDriveValueCount; ++i) {
        drive.Bind(static_cast<int>(kDriveFixedColumns + i + 1), one.Values[i]);
      }
      rc = drive.Run(time, number, one.Drive, one.Serial, one.Channel, one.Id, one.State, one.Smart);
      if (rc != SQLITE_DONE) return WriteFailed(db, rc, operation, error);
    }
  }
  rc = Execute(db, "COMMIT");
  if (rc != SQLITE_OK) return WriteFailed(db, rc, "committing the history write", error);
  return THistoryWrite::Written;
}

// The drives ReadDriveRows visits, in the order of their keys.
bool QueryDrives(sqlite3* db, const THistoryQuery& query, std::vector<std::string>& drives, std::string& error) {
  std::set<std::string> found;
  auto collect = [&](const char* sql, bool with_serial) {
    TStatement select(db, sql);
    if (!select.Prepared()) return false;
    select.Bind(1, query.From);
    select.Bind(2, query.To);
    if (with_serial) select.Bind(3, query.Serial);
    int rc;
    while ((rc = sqlite3_step(*select)) == SQLITE_ROW) found.insert(Text(*select, 0));
    return rc == SQLITE_DONE;
  };
  bool ok;
  if (!query.Drive.empty()) {
    // Rows of another serial are left out as they are read.
    found.insert(query.Drive);
    ok = true;
  } else if (query.Serial.empty()) {
    ok = collect("SELECT DISTINCT drive FROM drive_samples WHERE time BETWEEN ?1 AND ?2", false);
  } else {
    ok = collect("SELECT drive FROM drive_samples WHERE drive = ?3 AND time BETWEEN ?1 AND ?2 LIMIT 1", true) &&
         collect(
             "SELECT DISTINCT drive FROM drive_samples "
             "WHERE serial = ?3 AND serial <> drive AND time BETWEEN ?1 AND ?2",
             true);
  }
  if (!ok) {
    error = Message(db, "listing the drives of the history");
    return false;
  }
  // std::string orders bytes as unsigned, like SQLite's BINARY collation.
  drives.assign(found.begin(), found.end());
  return true;
}

}  // namespace

THistoryStore::THistoryStore(sqlite3* db) : db_(db) {}

THistoryStore::~THistoryStore() { sqlite3_close_v2(db_); }

bool MoveDamagedHistory(const std::string& path, const std::string& local_stamp, std::string& moved_to,
                        std::string& error) {
  const std::string target = path + ".damaged-" + local_stamp;
  std::string why;
  if (!platform::MoveFileOver(path, target, &why)) {
    error = "moving the damaged history file " + path + " aside: " + why;
    return false;
  }
  moved_to = target;
  // Left beside a new file, an old journal would be played into it.
  for (const char* companion : kCompanions) {
    if (platform::FileExists(path + companion)) platform::MoveFileOver(path + companion, target + companion);
  }
  return true;
}

std::unique_ptr<THistoryStore> THistoryStore::Open(const std::string& path, const std::string& local_stamp,
                                                   std::string& moved_to, std::string& error) {
  moved_to.clear();
  sqlite3* db = nullptr;
  std::string damage;
  switch (OpenWritable(path, db, damage)) {
    case TOpenOutcome::Opened:
      return std::unique_ptr<THistoryStore>(new THistoryStore(db));
    case TOpenOutcome::Failed:
      error = damage;
      return nullptr;
    case TOpenOutcome::Damaged:
      break;
  }
  if (!MoveDamagedHistory(path, local_stamp, moved_to, error)) {
    error = damage + "; " + error;
    return nullptr;
  }
  if (OpenWritable(path, db, error) != TOpenOutcome::Opened) return nullptr;
  return std::unique_ptr<THistoryStore>(new THistoryStore(db));
}

std::unique_ptr<THistoryStore> THistoryStore::OpenReadOnly(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(platform::FileNameToUtf8(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    // Opening reads nothing yet: a file that is not a database shows itself here.
    rc = Execute(db, "SELECT count(*) FROM sqlite_master");
  }
  if (rc != SQLITE_OK) {
    error = Message(db, "opening the history file " + path + " to read");
    sqlite3_close_v2(db);
    return nullptr;
  }
  return std::unique_ptr<THistoryStore>(new THistoryStore(db));
}

THistoryWrite THistoryStore::Write(const THistorySample& sample, std::string& error) {
  return WriteSamples(db_, std::span(&sample, 1), error);
}

THistoryWrite THistoryStore::Write(const std::vector<THistorySample>& samples, std::string& error) {
  return WriteSamples(db_, samples, error);
}

bool THistoryStore::Purge(int64_t before, std::string& error) {
  int rc = Execute(db_, "BEGIN IMMEDIATE");
  for (const char* table : {"drive_samples", "device_samples", "controller_samples"}) {
    if (rc != SQLITE_OK) break;
    TStatement remove(db_, std::string("DELETE FROM ") + table + " WHERE time < ?");
    if (!remove.Prepared()) {
      rc = remove.PrepareCode();
      break;
    }
    remove.Bind(1, before);
    rc = remove.Run();
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc == SQLITE_OK) rc = Execute(db_, "COMMIT");
  if (rc == SQLITE_OK) return true;
  WriteFailed(db_, rc, "deleting old history samples", error);
  return false;
}

std::map<int, int64_t> THistoryStore::LastSampleTimes() {
  std::map<int, int64_t> last;
  TStatement select(db_, "SELECT controller, MAX(time) FROM controller_samples GROUP BY controller");
  if (!select.Prepared()) return last;
  while (sqlite3_step(*select) == SQLITE_ROW) last[sqlite3_column_int(*select, 0)] = sqlite3_column_int64(*select, 1);
  return last;
}

bool THistoryStore::ReadDriveRows(const THistoryQuery& query, const std::function<bool(const TStoredDriveRow&)>& row,
                                  std::string& error) {
  // One drive at a time along the primary key: rows stream in order without a sort, and a
  // short time range of many drives reads only that range of each.
  std::vector<std::string> drives;
  if (!QueryDrives(db_, query, drives, error)) return false;
  TStatement select(db_, "SELECT " + DriveSelectList() +
                             " FROM drive_samples WHERE drive = ?1 AND time BETWEEN ?2 AND ?3 ORDER BY time");
  if (!select.Prepared()) {
    error = Message(db_, "reading the history");
    return false;
  }
  for (const std::string& drive : drives) {
    select.Bind(1, drive);
    select.Bind(2, query.From);
    select.Bind(3, query.To);
    int rc;
    while ((rc = sqlite3_step(*select)) == SQLITE_ROW) {
      TStoredDriveRow read = DriveRow(*select);
      if (!query.Serial.empty() && read.Serial != query.Serial && read.Drive != query.Serial) continue;
      if (!row(read)) {
        sqlite3_reset(*select);
        return true;
      }
    }
    if (rc != SQLITE_DONE) {
      error = Message(db_, "reading the history of drive " + drive);
      sqlite3_reset(*select);
      return false;
    }
    sqlite3_reset(*select);
  }
  return true;
}

std::vector<TSeriesPoint> THistoryStore::Series(const std::string& drive, size_t value_index, int64_t from, int64_t to,
                                                size_t max_points) {
  std::vector<TSeriesPoint> points;
  if (value_index >= kKeptDriveValueCount || max_points == 0 || from > to) return points;
  const std::string column = Quoted(KeptDriveValues()[value_index].Column);
  TStatement select(db_, "SELECT time, " + column +
                             " FROM drive_samples WHERE drive = ?1 AND time BETWEEN ?2 AND ?3 AND " + column +
                             " IS NOT NULL ORDER BY time");
  if (!select.Prepared()) return points;
  select.Bind(1, drive);
  select.Bind(2, from);
  select.Bind(3, to);
  while (sqlite3_step(*select) == SQLITE_ROW) {
    points.push_back({sqlite3_column_int64(*select, 0), sqlite3_column_int64(*select, 1)});
  }
  return KeepLargestPerSpan(std::move(points), max_points);
}

std::optional<TStoredDriveRow> THistoryStore::DriveRowAt(const std::string& drive, int64_t time) {
  TStatement select(db_, "SELECT " + DriveSelectList() +
                             " FROM drive_samples WHERE drive = ?1 AND time <= ?2 ORDER BY time DESC LIMIT 1");
  if (!select.Prepared()) return std::nullopt;
  select.Bind(1, drive);
  select.Bind(2, time);
  if (sqlite3_step(*select) != SQLITE_ROW) return std::nullopt;
  return DriveRow(*select);
}

std::vector<TSeriesPoint> KeepLargestPerSpan(std::vector<TSeriesPoint> points, size_t max_points) {
  if (points.size() <= max_points) return points;
  if (max_points == 0) return {};
  const int64_t first = points.front().Time;
  const auto width = static_cast<__int128>(points.back().Time) - first + 1;
  std::vector<TSeriesPoint> kept;
  kept.reserve(max_points);
  size_t kept_span = SIZE_MAX;
  for (const TSeriesPoint& point : points) {
    const auto span = static_cast<size_t>((static_cast<__int128>(point.Time) - first) * max_points / width);
    if (span != kept_span) {
      kept.push_back(point);
      kept_span = span;
    } else if (point.Value > kept.back().Value) {
      kept.back() = point;
    }
  }
  return kept;
}

const char* HistoryLibraryVersion() { return sqlite3_libversion(); }

}  // namespace kv

#pragma once
// THistoryExport: drive history rows as the text of one download, CSV or JSON, written in
// pieces (Begin, Row for each row as the store reads it, End) so that an answer never
// holds the whole history in memory.
//
// CSV, UTF-8 with a byte order mark and CR LF line ends (RFC 4180): the mark is what makes
// a spreadsheet read the UTF-8 as UTF-8 whatever the machine's code page, and CR LF is
// what every spreadsheet and Notepad show as lines. One header line:
//   time,time_utc,controller,drive,serial,channel,id,state,smart,temperature,power_on_hours,...
// then a line per row; the value columns follow KeptDriveValues() and are empty when the
// drive did not report the value. A text field holding a comma, quote, CR or LF is quoted
// (quotes doubled); one that starts with = + - @ TAB or CR gets a leading apostrophe, so a
// spreadsheet shows it as text instead of running it as a formula.
//
// JSON, UTF-8:
//   {"samples":[{"time":1765357200,"time_utc":"2025-12-10T09:00:00Z","controller":1,
//     "drive":"WD-123","serial":"WD-123","channel":"0","id":"3","state":"Online",
//     "smart":"Good","temperature":35,...,"smart_warnings":null},...]}
// A read that failed part way ends it with "error": {"samples":[...],"error":"..."}.
//
// The row texts are Windows-1251 bytes; both formats convert them to UTF-8.
// Pure; an object belongs to one answer.
#include <cstdint>
#include <string>
#include <string_view>

#include "history/history_store.h"

namespace kv {

enum class THistoryFormat { kCsv, kJson };

class THistoryExport {
 public:
  explicit THistoryExport(THistoryFormat format) : format_(format) {}

  // The text before the first row: the CSV mark and header line, or the JSON opening.
  void Begin(std::string& out) const;
  // Appends one row.
  void Row(std::string& out, const TStoredDriveRow& row);
  // The text after the last row. `error` is why the read stopped early (empty: it did
  // not); JSON carries it, CSV has no place for it.
  void End(std::string& out, std::string_view error) const;

 private:
  THistoryFormat format_;
  bool first_ = true;
};

// "2025-12-10T09:00:00Z" for 1765357200.
std::string IsoUtcText(int64_t utc_seconds);

}  // namespace kv

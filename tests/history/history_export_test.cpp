// The CSV and JSON text of history rows: quoting, formula neutralising, absent values,
// Windows-1251 bytes, and the pieces joining into one valid document.
#include "history/history_export.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TStoredDriveRow Row(const std::string& serial) {
  TStoredDriveRow row;
  row.Time = 1765357200;  // 2025-12-10 09:00:00 UTC
  row.Controller = 2;
  row.Drive = "d1";
  row.Serial = serial;
  row.Channel = "0";
  row.Id = "3";
  row.State = "Online";
  row.Smart = "Good";
  row.Values[0] = 35;
  row.Values[1] = -5;  // numbers are never taken for formulas
  return row;
}

std::string Export(THistoryFormat format, const std::vector<TStoredDriveRow>& rows, std::string_view error = {}) {
  THistoryExport writer(format);
  std::string out;
  writer.Begin(out);
  for (const TStoredDriveRow& row : rows) writer.Row(out, row);
  writer.End(out, error);
  return out;
}

const std::string kNoValues(kKeptDriveValueCount - 2, ',');

TEST(HistoryExport, CsvHeaderNamesEveryColumnAfterTheMark) {
  const std::string csv = Export(THistoryFormat::kCsv, {});
  std::string expected = "\xEF\xBB\xBFtime,time_utc,controller,drive,serial,channel,id,state,smart";
  for (const TKeptValue& value : KeptDriveValues()) expected += std::string(",") + value.Column;
  EXPECT_EQ(csv, expected + "\r\n");
}

TEST(HistoryExport, CsvTextFieldsAreQuotedAndNeutralised) {
  const struct {
    std::string serial, cell;
  } cases[] = {
      {"WD-123", "WD-123"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"lf\nonly", "\"lf\nonly\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "'+1"},
      {"-1", "'-1"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"a=b", "a=b"},  // only the first byte counts
      {"\xC4\xE8\xF1\xEA \x98", "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA \xEF\xBF\xBD"},  // "Disk", unassigned byte
  };
  const std::string head = Export(THistoryFormat::kCsv, {});
  for (const auto& c : cases) {
    const std::string csv = Export(THistoryFormat::kCsv, {Row(c.serial)});
    EXPECT_EQ(csv.substr(head.size()),
              "1765357200,2025-12-10T09:00:00Z,2,d1," + c.cell + ",0,3,Online,Good,35,-5" + kNoValues + "\r\n")
        << c.serial;
  }
}

TEST(HistoryExport, JsonRowsWithNullsEscapesAndError) {
  TStoredDriveRow second = Row("q\"\\\x01\xC4");
  second.Values[0].reset();
  second.Values[kKeptDriveValueCount - 1] = 7;
  std::string tail;
  for (size_t i = 2; i < kKeptDriveValueCount; ++i)
    tail += std::string(",\"") + KeptDriveValues()[i].Column + "\":" + (i + 1 == kKeptDriveValueCount ? "7" : "null");
  const std::string fixed = "{\"time\":1765357200,\"time_utc\":\"2025-12-10T09:00:00Z\",\"controller\":2,\"drive\":\"d1\",";
  const std::string values = ",\"channel\":\"0\",\"id\":\"3\",\"state\":\"Online\",\"smart\":\"Good\",\"temperature\":";
  const std::string row1 = fixed + "\"serial\":\"S1\"" + values + "35,\"power_on_hours\":-5" +
                           std::string(tail).replace(tail.size() - 1, 1, "null") + "}";
  const std::string row2 = fixed + "\"serial\":\"q\\\"\\\\\\u0001\xD0\x94\"" + values + "null,\"power_on_hours\":-5" +
                           tail + "}";

  EXPECT_EQ(Export(THistoryFormat::kJson, {}), "{\"samples\":[]}");
  EXPECT_EQ(Export(THistoryFormat::kJson, {Row("S1"), second}), "{\"samples\":[" + row1 + "," + row2 + "]}");
  EXPECT_EQ(Export(THistoryFormat::kJson, {Row("S1")}, "disk I/O error"),
            "{\"samples\":[" + row1 + "],\"error\":\"disk I/O error\"}");
  // CSV has no place for the error: the rows read are all it holds.
  EXPECT_EQ(Export(THistoryFormat::kCsv, {}, "disk I/O error"), Export(THistoryFormat::kCsv, {}));
}

}  // namespace
}  // namespace kv

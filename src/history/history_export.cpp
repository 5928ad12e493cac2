#include "history/history_export.h"

#include <optional>
#include <utility>

#include "base/local_time_text.h"
#include "base/text_utf8.h"

namespace kv {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kFixedColumns[] = "time,time_utc,controller,drive,serial,channel,id,state,smart";

bool NeedsCsvQuotes(std::string_view text) { return text.find_first_of(",\"\r\n") != std::string_view::npos; }

// A spreadsheet runs a cell that starts with one of these as a formula.
bool StartsLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

void AppendCsvText(std::string& out, std::string_view text) {
  const bool quoted = NeedsCsvQuotes(text);
  if (quoted) out += '"';
  if (StartsLikeFormula(text)) out += '\'';
  static constexpr TSpecialBytes kQuote = SpecialBytes([](unsigned b) { return b == '"'; });
  AppendUtf8Escaped(out, text, kQuote, [](std::string& o, unsigned char) { o += "\"\""; });
  if (quoted) out += '"';
}

void AppendCsvRow(std::string& out, const TStoredDriveRow& row) {
  out += std::to_string(row.Time);
  out += ',';
  out += IsoUtcText(row.Time);
  out += ',';
  out += std::to_string(row.Controller);
  for (const std::string* text : {&row.Drive, &row.Serial, &row.Channel, &row.Id, &row.State, &row.Smart}) {
    out += ',';
    AppendCsvText(out, *text);
  }
  for (const std::optional<int64_t>& value : row.Values) {
    out += ',';
    if (value) out += std::to_string(*value);
  }
  out += "\r\n";
}

void AppendJsonRow(std::string& out, const TStoredDriveRow& row) {
  out += "{\"time\":" + std::to_string(row.Time) + ",\"time_utc\":\"" + IsoUtcText(row.Time) +
         "\",\"controller\":" + std::to_string(row.Controller);
  const std::pair<const char*, const std::string*> texts[] = {
      {"drive", &row.Drive}, {"serial", &row.Serial}, {"channel", &row.Channel},
      {"id", &row.Id},       {"state", &row.State},   {"smart", &row.Smart}};
  for (const auto& [key, text] : texts) {
    out.append(",\"").append(key).append("\":");
    AppendJsonString(out, *text);
  }
  const auto kept = KeptDriveValues();
  for (size_t i = 0; i < kept.size(); ++i) {
    out.append(",\"").append(kept[i].Column).append("\":");
    out += row.Values[i] ? std::to_string(*row.Values[i]) : std::string("null");
  }
  out += '}';
}

}  // namespace

std::string IsoUtcText(int64_t utc_seconds) {
  // The local-time text of a time with no zone applied is UTC's.
  std::string text = LocalTimeText(utc_seconds);
  text[text.find(' ')] = 'T';
  return text + 'Z';
}

void THistoryExport::Begin(std::string& out) const {
  if (format_ == THistoryFormat::kJson) {
    out += "{\"samples\":[";
    return;
  }
  out += kUtf8Mark;
  out += kFixedColumns;
  for (const TKeptValue& value : KeptDriveValues()) out.append(",").append(value.Column);
  out += "\r\n";
}

void THistoryExport::Row(std::string& out, const TStoredDriveRow& row) {
  if (format_ == THistoryFormat::kCsv) return AppendCsvRow(out, row);
  if (!first_) out += ',';
  AppendJsonRow(out, row);
  first_ = false;
}

void THistoryExport::End(std::string& out, std::string_view error) const {
  if (format_ == THistoryFormat::kCsv) return;
  out += ']';
  if (!error.empty()) {
    out += ",\"error\":";
    AppendJsonString(out, error);
  }
  out += '}';
}

}  // namespace kv

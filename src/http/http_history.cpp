#include "http/http_history.h"

#include <chrono>
#include <filesystem>

#include "history/history_export.h"
#include "http/http_text.h"
#include "http/http_thread.h"
#include "http/log_throttle.h"
#include "http/request_path.h"

namespace kv {
namespace {

constexpr int64_t kMaxSeconds = 1000000000000000;  // 10^15: no arithmetic on it overflows
// Rows are gathered into pieces of about this size before each send.
constexpr std::size_t kPiece = 16384;

bool ReadSeconds(const std::string& text, int64_t& seconds) {
  const bool negative = !text.empty() && text[0] == '-';
  if (text.size() == (negative ? 1u : 0u)) return false;
  int64_t value = 0;
  for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value >= kMaxSeconds ? kMaxSeconds : value * 10 + (text[i] - '0');
  }
  if (value > kMaxSeconds) value = kMaxSeconds;
  seconds = negative ? -value : value;
  return true;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

int64_t UtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool ReadHistoryQuery(const std::string& target, int64_t utc_now, THistoryQuery& query, std::string& problem) {
  query = THistoryQuery();
  TQueryPairs pairs;
  if (!ParseQuery(target, pairs)) {
    problem = "The query holds a bad %-escape or a NUL byte.";
    return false;
  }
  bool from_given = false, to_given = false;
  for (const auto& [key, value] : pairs) {
    if (key == "serial") {
      query.Serial = value;
    } else if (key == "from" || key == "to") {
      int64_t& seconds = key == "from" ? query.From : query.To;
      if (!ReadSeconds(value, seconds)) {
        problem = "\"" + key + "\" is not a whole number of seconds.";
        return false;
      }
      (key == "from" ? from_given : to_given) = true;
    }
  }
  if (!from_given && query.Serial.empty()) query.From = (to_given ? query.To : utc_now) - kHistoryDefaultSeconds;
  if (query.From > query.To) {
    problem = "\"from\" is after \"to\".";
    return false;
  }
  return true;
}

std::string HistoryCsvName(const std::string& serial) {
  std::string name = "drive_history";
  if (!serial.empty()) name += '_';
  for (std::size_t i = 0; i < serial.size() && i < 64; ++i) name += IsNameByte(serial[i]) ? serial[i] : '_';
  return name + ".csv";
}

void TTCPHttpThrd::SendHistory(THistoryFormat format, const std::string& target) {
  if (Context.history_path.empty())
    return SendErrorPage(404, std::string(), "The drive history is off: [history] use=0.");
  THistoryQuery query;
  std::string problem;
  if (!ReadHistoryQuery(target, UtcNow(), query, problem)) return SendErrorPage(400, std::string(), problem);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(Context.history_path), ec))
    return SendErrorPage(404, std::string(), "No drive history yet: it starts with the first good collection.");
  std::string error;
  // A store per answer on this thread; its busy time-out bounds the wait for a writer.
  const std::unique_ptr<THistoryStore> store = THistoryStore::OpenReadOnly(Context.history_path, error);
  const auto unreadable = [&] {
    LogSockError("history: " + error);
    SendErrorPage(503, std::string(), "The drive history cannot be read now.");
  };
  if (!store) return unreadable();

  // The head waits for the first piece, so a read that fails at once still gets a 503.
  const bool csv = format == THistoryFormat::kCsv;
  const std::vector<std::string> headers =
      StreamHeaders(HttpDateNow(), csv ? "text/csv; charset=utf-8" : "application/json; charset=utf-8",
                    csv ? HistoryCsvName(query.Serial) : std::string());
  bool head_sent = false;
  std::string piece;
  const auto send = [&] {
    if (head_sent) Sock.SendText(piece);
    else SendResponseHead(ResultCode = 200, headers, piece);
    head_sent = true;
    piece.clear();
    return Sock.LastError() == 0;  // a client gone or not reading: stop
  };
  THistoryExport writer(format);
  writer.Begin(piece);
  const bool read = store->ReadDriveRows(
      query,
      [&](const TStoredDriveRow& row) {
        writer.Row(piece, row);
        return piece.size() < kPiece || send();
      },
      error);
  if (!read && !head_sent) return unreadable();
  if (Sock.LastError() != 0) return;
  if (!read) LogSockError("history: " + error);
  writer.End(piece, read ? std::string() : "the history could not be read to its end");
  send();
}

}  // namespace kv

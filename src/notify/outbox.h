#pragma once
// The outbox, korvane_monitor_outbox.txt beside the program: messages not yet delivered,
// kept on disk so that a stop or a crash in the middle of a delivery is followed by
// another try at the next start (at least once, never silently lost).
//
// A text file of typed entries, CR LF lines, one "[type]" line opening each entry and
// "key=value" lines after it (a key may repeat; a value is one line, the text up to its end):
//
//   ; Korvane Monitor: messages not yet delivered, sent again at the next start
//   [command]
//   verdict=Critical
//   time=1765249800
//   count=2
//   worst=critical Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed
//   change=2025-12-09 03:10:00 information Task 3: started (Rebuild)
//   change=2025-12-09 03:10:00 critical Drive 0,0 (S/N A1, enclosure 0 slot 0): Online -> Failed
//
// Blank lines and lines starting with ';' are ignored. Each sender reads and writes only
// its own type and keeps the entries of the others as they are. Writing goes through a
// temporary file and a rename, so a crash leaves the old file or the new one, never half.
//
// The file is untrusted on reading: a line that is no section, key or comment, or that
// comes before the first section, is skipped and counted; a file over kMaxBytes is not read
// at all. Nothing in it can make the reader fail, loop or take more than kMaxBytes.
// The functions are pure or file calls and the caller serialises access; TOutbox below
// serialises its own.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kv {

struct TOutboxEntry {
  std::string Type;                                        // "command"
  std::vector<std::pair<std::string, std::string>> Keys;  // in file order
};

struct TOutboxText {
  std::vector<TOutboxEntry> Entries;
  size_t Unreadable = 0;  // lines skipped
};

constexpr char kOutboxFileName[] = "korvane_monitor_outbox.txt";
constexpr size_t kOutboxMaxBytes = size_t{8} << 20;

TOutboxText ParseOutbox(const std::string& text);
// Values lose CR, LF and other control characters (each becomes a blank): one line each.
std::string FormatOutbox(const std::vector<TOutboxEntry>& entries);

// Reads `folder` + kOutboxFileName. False with `problem` set when it exists but cannot be
// read or is too large; true (no entries) when it does not exist.
bool ReadOutbox(const std::string& folder, TOutboxText& outbox, std::string& problem);
// Writes the entries (removes the file when there are none). False on any failure, with
// the system's words for it in `error`.
bool WriteOutbox(const std::string& folder, const std::vector<TOutboxEntry>& entries, std::string& error);

// The outbox the senders share: the command's "[command]" entries, the webhook's
// "[webhook]" ones, and entries of types nobody here knows (kept as found, at most 1 MiB of
// them). Each sender replaces its own entries; the file is written whole with everyone's.
// Thread-safe.
class TOutbox {
 public:
  // `folder` ends with the path separator; empty keeps nothing (tests).
  explicit TOutbox(std::string folder);

  // Reads the file, once at the start; the core log tells what could not be read.
  void Load();
  // The entries of `type` that Load found, handed out once.
  std::vector<TOutboxEntry> Take(const std::string& type);
  // Replaces the entries of `type` and writes the file. A failure becomes a warning of the
  // verdict ("Cannot write korvane_monitor_outbox.txt: ...") until a write succeeds.
  void Replace(const std::string& type, std::vector<TOutboxEntry> entries);

 private:
  // Writes every type's entries; `error` is empty when written.
  void WriteLocked(std::string& error);

  std::mutex mutex_;
  std::string folder_;
  std::map<std::string, std::vector<TOutboxEntry>> by_type_;  // type in lower case
  std::map<std::string, std::vector<TOutboxEntry>> found_;    // Load's, not yet taken
};

}  // namespace kv

#pragma once
// The program's own files, and whether they can be written just now.
//
// Every write of a file the program keeps (the core log, the changes file, the saved
// state, the notification's changes file) tells its outcome here under the file's name.
// A file that stops being written is told once until it works again: a core-log line
//   ERROR! Cannot write korvane_monitor_state.txt: No space left on device
// and a warning record, id 72 (stderr on Linux); when it works again one core-log line and
// an information record, id 73. While it fails, the verdict carries "Cannot write
// korvane_monitor_state.txt: No space left on device" as a warning.
//
// Threads: any. Nothing is told under the lock, so the core log may tell about itself
// from inside its own writes.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event_log.h"

namespace kv::platform {

inline constexpr int kWriteFailingEvent = 72;
inline constexpr int kWriteWorksAgainEvent = 73;

class TWriteFailures {
 public:
  // Where the records go; null writes none. The sink must outlive its use here.
  void SetEvents(EventLogSink* events);

  // One write of the file told as `name`; `error` is empty when it worked. The core log
  // passes `core_log_line` false for its own failures: that line could not be written.
  void Note(const std::string& name, const std::string& error, bool core_log_line = true);

  // "Cannot write <name>: <error>" for each file failing now, in name order.
  std::vector<std::string> Warnings() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> failing_;  // name -> the last error
  EventLogSink* events_ = nullptr;
};

// The process's one record: the files are the process's, whichever thread writes them.
TWriteFailures& WriteFailures();

// The file name of a path: the text after the last "/" or "\".
std::string FileNameOf(const std::string& path);

// Writes the whole file and notes the outcome under its file name; a failed write leaves
// nothing behind. For a file written anew each time, such as the notification's changes.
bool WriteWholeFileNoted(const std::string& path, const std::string& content);

// A file of CR LF lines that starts afresh once it would grow past `limit` bytes, the
// earlier one kept as "<name>.old.txt" beside it (replacing an older one). Lines are
// appended whole (see AppendLines), every write and rotation is noted, and the size is
// taken from the file system once, then counted. Not thread-safe: the owner serialises.
class TLineFile {
 public:
  // `core_log`: this is the core log, which cannot write a line about its own failure.
  explicit TLineFile(std::string path = std::string(), uint64_t limit = UINT64_MAX, bool core_log = false);

  // Creates the file anew holding `lines`.
  bool Restart(const std::string& lines);
  // Appends whole lines, rotating first when they would take the file past the limit.
  bool Append(const std::string& lines);

  const std::string& Path() const { return path_; }
  // "korvane_monitor_changes.txt" -> "korvane_monitor_changes.old.txt".
  const std::string& OldPath() const { return old_path_; }

 private:
  void Rotate();

  std::string path_;
  std::string old_path_;
  std::string name_;
  uint64_t limit_;
  bool core_log_;
  bool size_known_ = false;
  uint64_t size_ = 0;
};

}  // namespace kv::platform

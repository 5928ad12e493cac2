#pragma once
// The core log: the program's own diagnostic text file beside the executable,
// <program folder><executable name without extension>_core_log.txt (CoreLogFileFor in
// base/core_log_writer.h).
//
//   [Start] 08/12/2026 07:27:00
//   [08/12/2026 07:27:01] Webserver starting on 10.0.0.5:31313
//
// Lines end with CR LF. A text holding line breaks (a command's output) becomes one entry
// per line, each with the timestamp, blank lines left out; control characters other than
// tab are written as "\x07". The file is opened, written and closed for every entry under
// CoreLogLock, so other programs can copy it between writes and lines from different
// threads never interleave. Past 1 MiB it becomes <name>_core_log.old.txt (replacing an
// older one) and a new file starts. An entry is written whole or not at all; a file that
// cannot be written is told once on the event log (stderr on Linux), and becomes a warning
// of the verdict, until it works again. Nothing here throws.
//
// StartCoreLog runs once at process start, before the service framework, and installs
// the log as the sink of kv::WriteCoreLog; EndCoreLog runs at process end.
#include <functional>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/write_failures.h"

namespace kv {

// "DD/MM/YYYY HH:NN:SS" with the given separators in place of "/" and ":".
std::string FormatCoreLogTimestamp(const platform::LocalDateTime& t, char date_separator,
                                   char time_separator);

// The current local time with the regional separators.
std::string CoreLogTimestampNow();

// Serialises every open, write and close of the core log file. Re-entrant.
std::recursive_mutex& CoreLogLock();

class TGDLogger {
 public:
  using Timestamp = std::function<std::string()>;
  static constexpr uint64_t kRotateBytes = 1u << 20;

  explicit TGDLogger(std::string path, Timestamp timestamp = CoreLogTimestampNow);

  // Creates the file anew with the "[Start] " line; earlier content is discarded.
  void WriteStartLine() noexcept;
  // Appends "[" + timestamp + "] " + text, creating the file when it is gone.
  void Write(const std::string& text) noexcept;

  const std::string& Path() const { return file_.Path(); }

 private:
  platform::TLineFile file_;
  Timestamp timestamp_;
};

// Full path of the running process's core log; empty before StartCoreLog and after EndCoreLog.
std::string CoreLogPath();

// Process start: creates the logger for this executable, writes the start line and makes
// it the sink of kv::WriteCoreLog. Never fails; a folder that cannot be written only
// loses the lines.
void StartCoreLog();

// Process end: removes the sink and frees the logger.
void EndCoreLog();

}  // namespace kv

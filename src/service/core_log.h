#pragma once
// The core log: the program's own diagnostic text file beside the executable,
// <program folder><executable name without extension>_core_log.txt.
//
//   [Start] 08/12/2026 07:27:00
//   [08/12/2026 07:27:01] Webserver starting on 10.0.0.5:31313
//
// Lines end with CR LF; texts are written unchanged (a text holding CR LF spans several
// lines). The file is opened, written and closed for every line under CoreLogLock, so
// other programs can copy it between writes and lines from different threads never
// interleave. A line that cannot be written is lost silently; nothing here throws.
//
// StartCoreLog runs once at process start, before the service framework, and installs
// the log as the sink of kv::WriteCoreLog; EndCoreLog runs at process end.
#include <functional>
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace kv {

// "DD/MM/YYYY HH:NN:SS" with the given separators in place of "/" and ":".
std::string FormatCoreLogTimestamp(const platform::LocalDateTime& t, char date_separator,
                                   char time_separator);

// The current local time with the regional separators.
std::string CoreLogTimestampNow();

// The core log path for an executable: "C:\Monitor\monitor.exe" -> "C:\Monitor\monitor_core_log.txt".
// The extension is the text from the last "." of the file name on.
std::string CoreLogFileFor(const std::string& executable_path);

// Serialises every open, write and close of the core log file. Re-entrant.
std::recursive_mutex& CoreLogLock();

class TGDLogger {
 public:
  using Timestamp = std::function<std::string()>;

  explicit TGDLogger(std::string path, Timestamp timestamp = CoreLogTimestampNow);

  // Creates the file anew with the "[Start] " line; earlier content is discarded.
  void WriteStartLine() noexcept;
  // Appends "[" + timestamp + "] " + text, creating the file when it is gone.
  void Write(const std::string& text) noexcept;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
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

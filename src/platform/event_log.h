#pragma once
// The system event log: where the service writes its start, stop and HTTP failure records.
//
// Windows: the Application log under the service's source name, category 0, event id 1,
// the whole text as the one insertion string (the executable's message table maps id 1
// to "%1" CR LF, so the text shows unchanged).
// Linux: one line per record on stderr with the journald priority prefix, "<6>" for
// information, "<4>" for warnings and "<3>" for errors; line breaks inside the text become
// " / ".
//
// Report may be called from any thread; each record is written whole.
#include <memory>
#include <string>

namespace kv::platform {

enum class EventType { kError = 1, kWarning = 2, kInformation = 4 };

class EventLogSink {
 public:
  virtual ~EventLogSink() = default;
  virtual void Report(EventType type, const std::string& text) = 0;
  // A record with its own event id (the service's own records are id 1). Logs without ids
  // (the journal) write it as Report does.
  virtual void ReportWithId(EventType type, int event_id, const std::string& text) {
    (void)event_id;
    Report(type, text);
  }
};

// The event log of this system for `source`. Never null; a log that cannot be opened
// loses its records silently.
std::unique_ptr<EventLogSink> OpenSystemEventLog(const std::string& source);

// Makes `source` known to the event log with `message_file` (the executable carrying the
// message table) and the supported types error, warning and information.
// Linux: journald needs no registration; returns true.
bool RegisterEventLogSource(const std::string& source, const std::string& message_file);

// Removes what RegisterEventLogSource added. Linux: returns true.
bool UnregisterEventLogSource(const std::string& source);

// The stderr line for one record, with its trailing LF:
//   JournalLine(kError, "bind failed\r\nport 80") == "<3>bind failed / port 80\n"
// CR LF, and a lone CR or LF, each become " / " so a record never spans two lines.
std::string JournalLine(EventType type, const std::string& text);

}  // namespace kv::platform

#pragma once
// WriteCoreLog: the one diagnostic line writer every layer calls.
//
// The lower layers cannot include the service's core log, so they call this function,
// which forwards to the sink the process installed at start (the core log file in the
// program, a recorder in tests). Without a sink the line is dropped. Never throws.
//
// This is the program's one process-wide sink, kept on purpose: like standard error it is
// written from every layer and from threads that outlive the service object (connection
// and notification threads), and it is open before the service framework starts.
//
// The core log's name is worked out here too, once for the service that writes the file
// and the collection that hands the name to the restart program.
#include <functional>
#include <string>

namespace kv {

using CoreLogSink = std::function<void(const std::string& text)>;

void WriteCoreLog(const std::string& text) noexcept;

// Installs the sink; returns the previous one so tests can restore it.
CoreLogSink SetCoreLogSink(CoreLogSink sink);

inline constexpr char kCoreLogSuffix[] = "_core_log.txt";

// The core log's file name for an executable: the executable's file name (the text after
// the last "\", "/" or ":") without its extension (from its last "." on), then
// kCoreLogSuffix: "C:\Monitor\monitor.exe" -> "monitor_core_log.txt".
std::string CoreLogFileName(const std::string& executable_path);

// That name in the executable's folder:
// "C:\Monitor\monitor.exe" -> "C:\Monitor\monitor_core_log.txt".
std::string CoreLogFileFor(const std::string& executable_path);

}  // namespace kv

#pragma once
// Turning one configured source into a text.
//
// A source is either the path of a saved output ending in ".txt" (any letter case), read
// as lines and joined again with CR LF after each line, or a command line run hidden
// through the console runner with standard output and error captured as one text.
//
//   get_config.txt                          -> file source
//   C:\Tools\util.exe /c0 show config       -> command source (extension ".exe /c0 show config")
//   C:\Out.txt\util.exe /c0                 -> command source (a backslash follows the last '.')
//   util.exe /c0 /outfile=saved.txt         -> file source: the last '.' starts ".txt"
//
// Failures never raise; they leave what could be read in `text` and write one of the
// core-log lines below. Called on the collecting thread only.
#include <functional>
#include <string>

#include "platform/process.h"
#include "report/collection_health.h"

namespace kv {

// The text from the last '.' to the end, provided no '\\' or ':' follows that '.'; else "".
std::string SourceExtension(const std::string& source);
bool IsFileSource(const std::string& source);

// Lines ended by CR LF, LF or CR, each written back followed by CR LF ("" stays "").
std::string JoinLinesCrLf(std::string content);

using ConsoleRunner = std::function<platform::ConsoleProcessResult(
    const std::string& command_line, const platform::ConsoleProcessLimits& limits, std::string& output)>;

struct SourceReadOptions {
  platform::ConsoleProcessLimits limits;
  ConsoleRunner runner;  // empty: platform::RunConsoleProcess
};

// Core-log texts written by ReadSource.
inline constexpr const char* kProcessFailedLine = "ERROR! ExecuteConsoleProcess=false\r\n\r\n";
inline constexpr const char* kEmptySourceLine = "ERROR! StartData_config, str=null";
// Follows kProcessFailedLine when the command's program does not exist; then the program.
inline constexpr const char* kProgramNotFoundLine = "ERROR! source command's program not found: ";
// Followed by the source. A source ending in ".txt" is never run, even after a command.
inline constexpr const char* kUnreadableFileLine =
    "ERROR! source file cannot be read (a source ending in .txt is read as a file, not run): ";
// At most this much of a failed command's output is copied into the core log.
inline constexpr size_t kLoggedOutputLimit = 64 * 1024;

// Returns how the read went: ok (a text), empty, failed (unreadable file, a command that did
// not start or broke off, a command line too long), timed out, or capped (the start kept).
// A text that starts with a UTF-16 byte-order mark is converted to the ANSI code page, with
// one core-log line. `exit_code` receives a command's exit code (-1 for a file, or when the
// command did not end by itself).
SourceStatus ReadSource(const std::string& source, std::string& text, const SourceReadOptions& options,
                        int* exit_code = nullptr);

}  // namespace kv

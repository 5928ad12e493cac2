#include "collect/source_reader.h"

#include <algorithm>
#include <cstring>

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "platform/files.h"
#include "base/text_helpers.h"
#include "platform/codepage.h"
#include "platform/program_lookup.h"

namespace kv {
namespace {

// A cap set beyond any real output is not reserved whole.
constexpr size_t kReservedOutputLimit = size_t{256} << 20;

using platform::ConsoleProcessResult;

std::string LoggedOutput(const std::string& text) {
  if (text.size() <= kLoggedOutputLimit) return text;
  return text.substr(0, kLoggedOutputLimit) + "\r\n[... " + std::to_string(text.size() - kLoggedOutputLimit) +
         " more bytes not logged]";
}

// The runner is the only caller of the process layer; anything it raises counts as a
// failed run, keeping the output captured so far.
ConsoleProcessResult GuardedRun(const SourceReadOptions& options, const std::string& command, std::string& text) {
  try {
    if (options.runner) return options.runner(command, options.limits, text);
    return platform::RunConsoleProcess(command, options.limits, text);
  } catch (...) {
    return ConsoleProcessResult::kReadFailed;
  }
}

// A text that starts with a UTF-16 byte-order mark (PowerShell's '>' writes one) becomes
// the code-page text it holds; any other text is left as it is.
void DecodeUtf16(std::string& text, const std::string& source) {
  if (text.size() < 2) return;
  const auto b0 = static_cast<unsigned char>(text[0]);
  const auto b1 = static_cast<unsigned char>(text[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE;
  const bool big = b0 == 0xFE && b1 == 0xFF;
  if (!little && !big) return;
  text = platform::ConvertUtf16ToAnsi(std::string_view(text).substr(2), big);
  WriteCoreLog(std::string("source text is UTF-16 ") + (big ? "BE" : "LE") + ", converted to code page " +
               std::to_string(platform::AnsiCodePage()) + ": " + source);
}

SourceStatus ReadFileSource(const std::string& path, std::string& text, const SourceReadOptions& options) {
  std::string content;
  // One byte past the cap tells a file over it; the rest is never read. Room for a CR
  // before each LF comes with the buffer, so the lines are joined in place.
  const size_t cap = options.limits.max_output;
  uint64_t size = 0;
  if (platform::FileSize(path, size) && size > 0) {
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(size, std::min(cap, kReservedOutputLimit)));
    content.reserve(expected + expected / 16 + 2);
  }
  if (platform::ReadWholeFile(path, content, cap == SIZE_MAX ? cap : cap + 1) != platform::FileReadResult::kOk) {
    // Without this line an empty page would be all an administrator sees.
    WriteCoreLog(kUnreadableFileLine + path);
    return SourceStatus::kFailed;
  }
  const bool over = content.size() > cap;
  DecodeUtf16(content, path);
  SourceStatus status = SourceStatus::kOk;
  if (over) {
    WriteCoreLog("ERROR! source file over " + std::to_string(cap) + " bytes, only the start is read: " + path);
    if (content.size() > cap) content.resize(cap);
    status = SourceStatus::kCapped;
  }
  text = JoinLinesCrLf(std::move(content));
  return text.empty() ? SourceStatus::kEmpty : status;
}

SourceStatus ReadCommandSource(const std::string& command, std::string& text, const SourceReadOptions& options,
                               int& exit_code) {
  if (command.size() > platform::kMaxCommandLine) {
    WriteCoreLog("ERROR! source command longer than " + std::to_string(platform::kMaxCommandLine) +
                 " characters (" + std::to_string(command.size()) + "), not run: " +
                 command.substr(0, platform::kMaxCommandLine) + "...");
    return SourceStatus::kFailed;
  }
  SourceReadOptions run = options;
  run.limits.exit_code = &exit_code;
  // Room for the largest output up front: pages are only taken as they are written, and a
  // text near the cap is never copied to grow (the old and the new buffer at once).
  text.reserve(std::min(options.limits.max_output, kReservedOutputLimit));
  const ConsoleProcessResult result = GuardedRun(run, command, text);
  if (text.capacity() - text.size() > text.size() / 8) text.shrink_to_fit();
  DecodeUtf16(text, command);
  switch (result) {
    case ConsoleProcessResult::kCompleted:
      if (!text.empty()) return SourceStatus::kOk;
      WriteCoreLog(kEmptySourceLine);
      return SourceStatus::kEmpty;
    case ConsoleProcessResult::kStartFailed: {
      WriteCoreLog(kProcessFailedLine + LoggedOutput(text));
      std::string program;
      if (!platform::FindCommandProgram(command, program)) WriteCoreLog(kProgramNotFoundLine + program);
      return SourceStatus::kFailed;
    }
    case ConsoleProcessResult::kReadFailed:
      WriteCoreLog(kProcessFailedLine + LoggedOutput(text));
      return SourceStatus::kFailed;
    case ConsoleProcessResult::kTimedOut:
      WriteCoreLog(kProcessFailedLine + LoggedOutput(text));
      WriteCoreLog("ERROR! source_timeout of " + std::to_string(options.limits.timeout_ms / 1000) +
                   " s passed, command and its children ended: " + command);
      return SourceStatus::kTimedOut;
    case ConsoleProcessResult::kCancelled:
      WriteCoreLog("source command ended, the service stops: " + command);
      return SourceStatus::kFailed;
    case ConsoleProcessResult::kOutputCapped:
      WriteCoreLog("ERROR! source output over " + std::to_string(options.limits.max_output) +
                   " bytes, command and its children ended, the start is kept: " + command);
      return SourceStatus::kCapped;
  }
  return SourceStatus::kFailed;
}

}  // namespace

std::string SourceExtension(const std::string& source) {
  size_t dot = source.rfind('.');
  if (dot == std::string::npos) return std::string();
  if (source.find_first_of("\\:", dot + 1) != std::string::npos) return std::string();
  return source.substr(dot);
}

bool IsFileSource(const std::string& source) { return LowerCaseAscii(SourceExtension(source)) == ".txt"; }

namespace {

// True when every line already ends in CR LF, the last one included, as the utility's
// output usually does: joining the lines again would give the same bytes.
bool EndsEveryLineWithCrLf(std::string_view content) {
  if (content.size() < 2 || content.substr(content.size() - 2) != "\r\n") return false;
  // Each CR followed by an LF and each LF after a CR; searched for one byte at a time with
  // memchr, which goes through a listing many times faster than a loop over every byte.
  for (size_t at = content.find('\r'); at != std::string_view::npos; at = content.find('\r', at + 1))
    if (content[at + 1] != '\n') return false;  // the text ends in LF, so at + 1 is inside
  for (size_t at = content.find('\n'); at != std::string_view::npos; at = content.find('\n', at + 1))
    if (at == 0 || content[at - 1] != '\r') return false;
  return true;
}

}  // namespace

std::string JoinLinesCrLf(std::string content) {
  if (content.empty() || EndsEveryLineWithCrLf(content)) return content;
  // Rewritten in place from the back: every line end only grows (CR or LF becomes CR LF),
  // so nothing is overwritten before it is read, and a text near the cap is never held twice
  // (unless the buffer itself must grow).
  const size_t n = content.size();
  size_t extra = 0;
  for (size_t at = FindLineBreak(content, 0); at != std::string::npos; at = FindLineBreak(content, at + 1)) {
    if (content[at] == '\r' && at + 1 < n && content[at + 1] == '\n') ++at;  // CR LF: already two
    else ++extra;
  }
  const bool unterminated = content.back() != '\r' && content.back() != '\n';
  if (unterminated) extra += 2;
  content.resize(n + extra);
  char* text = content.data();
  size_t write = n + extra;
  size_t read = n;
  if (unterminated) {
    text[--write] = '\n';
    text[--write] = '\r';
  }
  while (read > 0) {
    const char c = text[read - 1];
    if (c == '\n' || c == '\r') {
      read -= (c == '\n' && read >= 2 && text[read - 2] == '\r') ? 2 : 1;
      text[--write] = '\n';
      text[--write] = '\r';
      continue;
    }
    size_t run_start = read - 1;  // the line's bytes back to the previous break
    while (run_start > 0 && text[run_start - 1] != '\n' && text[run_start - 1] != '\r') --run_start;
    const size_t length = read - run_start;
    write -= length;
    std::memmove(text + write, text + run_start, length);
    read = run_start;
  }
  return content;
}

SourceStatus ReadSource(const std::string& source, std::string& text, const SourceReadOptions& options,
                        int* exit_code) {
  text.clear();
  int code = -1;
  if (exit_code != nullptr) *exit_code = -1;
  try {
    if (IsFileSource(source)) return ReadFileSource(source, text, options);
    const SourceStatus status = ReadCommandSource(source, text, options, code);
    if (exit_code != nullptr) *exit_code = code;
    return status;
  } catch (...) {
    // Out of memory or a failing log sink: the text keeps what it held.
    return SourceStatus::kFailed;
  }
}

}  // namespace kv

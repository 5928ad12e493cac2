#include "platform/write_failures.h"

#include "base/core_log_writer.h"
#include "platform/files.h"

namespace kv::platform {

void TWriteFailures::SetEvents(EventLogSink* events) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_ = events;
}

void TWriteFailures::Note(const std::string& name, const std::string& error, bool core_log_line) {
  EventLogSink* events = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = failing_.find(name);
    if (error.empty()) {
      if (it == failing_.end()) return;
      failing_.erase(it);
    } else {
      const bool told_before = it != failing_.end();
      failing_[name] = error;  // the warning shows the latest reason
      if (told_before) return;
    }
    events = events_;
  }
  try {
    if (!error.empty()) {
      const std::string text = "Cannot write " + name + ": " + error;
      if (core_log_line) WriteCoreLog("ERROR! " + text);
      if (events != nullptr) events->ReportWithId(EventType::kWarning, kWriteFailingEvent, text);
    } else {
      const std::string text = name + " is written again";
      WriteCoreLog(text);
      if (events != nullptr) events->ReportWithId(EventType::kInformation, kWriteWorksAgainEvent, text);
    }
  } catch (...) {
    // Telling must not fail the write it tells about.
  }
}

std::vector<std::string> TWriteFailures::Warnings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> warnings;
  for (const auto& [name, error] : failing_) warnings.push_back("Cannot write " + name + ": " + error);
  return warnings;
}

TWriteFailures& WriteFailures() {
  static TWriteFailures failures;
  return failures;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteWholeFileNoted(const std::string& path, const std::string& content) {
  std::string error;
  const bool ok = WriteWholeFile(path, content, &error);
  if (!ok) RemoveFileAt(path);  // half a file would be read as a whole one
  WriteFailures().Note(FileNameOf(path), ok ? std::string() : error);
  return ok;
}

TLineFile::TLineFile(std::string path, uint64_t limit, bool core_log)
    : path_(std::move(path)), name_(FileNameOf(path_)), limit_(limit), core_log_(core_log) {
  const size_t dot = path_.rfind('.');
  const bool has_extension = dot != std::string::npos && dot > path_.size() - name_.size();
  old_path_ = has_extension ? path_.substr(0, dot) + ".old" + path_.substr(dot) : path_ + ".old";
}

bool TLineFile::Restart(const std::string& lines) {
  std::string error;
  const bool ok = WriteWholeFile(path_, lines, &error);
  size_known_ = ok;
  size_ = ok ? lines.size() : 0;
  WriteFailures().Note(name_, ok ? std::string() : error, !core_log_);
  return ok;
}

bool TLineFile::Append(const std::string& lines) {
  if (!size_known_) size_known_ = FileSize(path_, size_);
  if (size_known_ && size_ > 0 && size_ + lines.size() > limit_) Rotate();
  std::string error;
  uint64_t size = 0;
  const bool ok = AppendLines(path_, lines, size, &error);
  if (ok) size_ = size;
  size_known_ = ok;
  WriteFailures().Note(name_, ok ? std::string() : error, !core_log_);
  return ok;
}

void TLineFile::Rotate() {
  std::string error;
  const bool ok = MoveFileOver(path_, old_path_, &error);
  if (ok) size_ = 0;  // before the note: a line it writes to this file goes to the new one
  // Noted under the old file's name: the current one still takes the lines, past its limit.
  WriteFailures().Note(FileNameOf(old_path_), ok ? std::string() : error);
}

}  // namespace kv::platform

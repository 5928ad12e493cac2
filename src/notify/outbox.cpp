#include "notify/outbox.h"

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "base/text_helpers.h"
#include "platform/files.h"
#include "platform/write_failures.h"

namespace kv {
namespace {

constexpr char kTemporaryName[] = "korvane_monitor_outbox.tmp";
// Entries of types nobody here knows are kept at most, so a hostile file cannot grow ours.
constexpr size_t kMaxOtherBytes = size_t{1} << 20;
constexpr char kHeading[] = "; Korvane Monitor: messages not yet delivered, sent again at the next start\r\n";

std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return line;
}

// A key or type name: letters, digits, '_' and '-' only.
bool IsName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

}  // namespace

TOutboxText ParseOutbox(const std::string& text) {
  TOutboxText outbox;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty() || line[0] == ';') continue;
    if (line.size() > 2 && line.front() == '[' && line.back() == ']' && IsName(std::string_view(line).substr(1, line.size() - 2))) {
      outbox.Entries.push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    const size_t equals = line.find('=');
    if (outbox.Entries.empty() || equals == std::string::npos || !IsName(std::string_view(line).substr(0, equals))) {
      ++outbox.Unreadable;
      continue;
    }
    outbox.Entries.back().Keys.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return outbox;
}

std::string FormatOutbox(const std::vector<TOutboxEntry>& entries) {
  std::string text = kHeading;
  for (const TOutboxEntry& entry : entries) {
    text += "[" + entry.Type + "]\r\n";
    for (const auto& [key, value] : entry.Keys) text += key + "=" + OneLine(value) + "\r\n";
  }
  return text;
}

bool ReadOutbox(const std::string& folder, TOutboxText& outbox, std::string& problem) {
  outbox = TOutboxText();
  std::string text;
  switch (platform::ReadWholeFile(folder + kOutboxFileName, text, kOutboxMaxBytes + 1)) {
    case platform::FileReadResult::kMissing: return true;
    case platform::FileReadResult::kFailed: problem = "cannot be read"; return false;
    case platform::FileReadResult::kOk: break;
  }
  if (text.size() > kOutboxMaxBytes) {
    problem = "is larger than " + std::to_string(kOutboxMaxBytes >> 20) + " MiB";
    return false;
  }
  outbox = ParseOutbox(text);
  return true;
}

bool WriteOutbox(const std::string& folder, const std::vector<TOutboxEntry>& entries, std::string& error) {
  const std::string path = folder + kOutboxFileName;
  if (entries.empty()) {
    if (!platform::FileExists(path) || platform::RemoveFileAt(path)) return true;
    error = "cannot be removed";
    return false;
  }
  const std::string temporary = folder + kTemporaryName;
  if (platform::WriteWholeFile(temporary, FormatOutbox(entries), &error) &&
      platform::MoveFileOver(temporary, path, &error))
    return true;
  platform::RemoveFileAt(temporary);
  return false;
}

TOutbox::TOutbox(std::string folder) : folder_(std::move(folder)) {}

void TOutbox::Load() {
  if (folder_.empty()) return;
  TOutboxText outbox;
  std::string problem, error;
  const bool read = ReadOutbox(folder_, outbox, problem);
  size_t unreadable = outbox.Unreadable, other_bytes = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (TOutboxEntry& entry : outbox.Entries) {
      const std::string type = LowerCaseAscii(entry.Type);
      if (type != "command" && type != "webhook") {
        size_t bytes = entry.Type.size();
        for (const auto& [key, value] : entry.Keys) bytes += key.size() + value.size();
        if ((other_bytes += bytes) > kMaxOtherBytes) {
          ++unreadable;
          continue;
        }
      } else {
        found_[type].push_back(entry);
      }
      // Written back as found until its sender replaces it.
      by_type_[type].push_back(std::move(entry));
    }
    // What could not be read goes now, so it is told once.
    if (!read || unreadable > 0) WriteLocked(error);
  }
  if (!read || unreadable > 0) platform::WriteFailures().Note(kOutboxFileName, error);
  if (!read) WriteCoreLog(std::string("ERROR! notify: ") + kOutboxFileName + ": " + problem + "; what it holds is dropped");
  if (unreadable > 0)
    WriteCoreLog(std::string("ERROR! notify: ") + kOutboxFileName + ": " + std::to_string(unreadable) +
                 " lines or entries could not be read and are skipped");
}

std::vector<TOutboxEntry> TOutbox::Take(const std::string& type) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = found_.find(LowerCaseAscii(type));
  if (found == found_.end()) return {};
  std::vector<TOutboxEntry> entries = std::move(found->second);
  found_.erase(found);
  return entries;
}

void TOutbox::Replace(const std::string& type, std::vector<TOutboxEntry> entries) {
  if (folder_.empty()) return;
  std::string error;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries.empty()) by_type_.erase(LowerCaseAscii(type));
    else by_type_[LowerCaseAscii(type)] = std::move(entries);
    WriteLocked(error);
  }
  platform::WriteFailures().Note(kOutboxFileName, error);
}

void TOutbox::WriteLocked(std::string& error) {
  std::vector<TOutboxEntry> all;
  for (const auto& [type, entries] : by_type_) all.insert(all.end(), entries.begin(), entries.end());
  if (!WriteOutbox(folder_, all, error) && error.empty()) error = "unknown error";
}

}  // namespace kv

#include "notify/outbox.h"

#include "base/text_helpers.h"
#include "platform/files.h"

namespace kv {
namespace {

constexpr char kTemporaryName[] = "korvane_monitor_outbox.tmp";
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

}  // namespace kv

#include "base/ini_file.h"

#include <cstdint>

#include "base/text_case.h"

namespace kv {
namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view digits, bool negative, int64_t& value) {
  if (digits.empty() || digits.size() > 16) return false;
  uint64_t v = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  // Eight or fewer digits read as a 32-bit pattern, like the classic integer reader.
  int64_t result = digits.size() <= 8 ? static_cast<int64_t>(static_cast<int32_t>(v))
                                      : static_cast<int64_t>(v);
  value = negative ? -result : result;
  return true;
}

}  // namespace

bool ParseIniInteger(std::string_view text, int64_t& value) {
  text = Trim(text);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseHex(text.substr(2), false, value);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text[0] == '$') return ParseHex(text.substr(1), negative, value);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseHex(text.substr(2), negative, value);
  if (text.empty() || text.size() > 19) return false;
  // Accumulated unsigned: 19 digits can exceed the signed range, which must give the
  // default rather than overflow.
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  const uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (negative ? 1u : 0u);
  if (v > limit) return false;
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

void TMemIniFile::Load(std::string_view text) {
  sections_.clear();
  section_index_.clear();
  Section* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      std::string name(Trim(line.substr(1, line.size() - 2)));
      // A repeated header starts over: the index points at the last section of a name,
      // so the earlier one is no longer reachable.
      section_index_[LowerCaseAscii(name)] = sections_.size();
      sections_.push_back(Section{std::move(name), {}, {}});
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    size_t eq = line.find('=');
    std::string key(Trim(eq == std::string_view::npos ? line : line.substr(0, eq)));
    std::string value(eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1)));
    auto [it, added] = current->index.try_emplace(LowerCaseAscii(key), current->entries.size());
    if (!added) {
      // The last occurrence of a key wins and takes the place of the earlier one in order.
      current->entries[it->second].live = false;
      it->second = current->entries.size();
    }
    current->entries.push_back(Entry{std::move(key), std::move(value), true});
  }
}

const TMemIniFile::Section* TMemIniFile::FindSection(std::string_view name) const {
  const auto it = section_index_.find(LowerCaseAscii(name));
  return it == section_index_.end() ? nullptr : &sections_[it->second];
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(std::string_view section,
                                                 std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  const auto it = s->index.find(LowerCaseAscii(key));
  return it == s->index.end() ? nullptr : &s->entries[it->second];
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key,
                                    const std::string& default_value) const {
  const Entry* e = FindEntry(section, key);
  return e ? e->value : default_value;
}

int64_t TMemIniFile::ReadInteger(std::string_view section, std::string_view key,
                                 int64_t default_value) const {
  const Entry* e = FindEntry(section, key);
  int64_t value = 0;
  if (e == nullptr || !ParseIniInteger(e->value, value)) return default_value;
  return value;
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view key,
                           bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

bool TMemIniFile::SectionExists(std::string_view section) const {
  const Section* s = FindSection(section);
  return s != nullptr && !s->index.empty();
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindEntry(section, key) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSectionKeys(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (e.live) keys.push_back(e.key);
  return keys;
}

}  // namespace kv

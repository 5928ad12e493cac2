#include "base/ini_file.h"

#include <cstdint>

#include "base/text_case.h"
#include "base/text_helpers.h"

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

namespace {

// FNV-1a over the lower-cased bytes.
size_t HashNoCase(std::string_view s, size_t seed) {
  uint64_t h = 1469598103934665603ull ^ seed;
  for (char c : s) {
    h ^= static_cast<unsigned char>(LowerAscii(c));
    h *= 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

}  // namespace

size_t TMemIniFile::KeyHash::operator()(const KeyRef& k) const { return HashNoCase(k.key, k.section); }
bool TMemIniFile::KeyEqual::operator()(const KeyRef& a, const KeyRef& b) const {
  return a.section == b.section && SameTextAscii(a.key, b.key);
}
size_t TMemIniFile::NameHash::operator()(std::string_view name) const { return HashNoCase(name, 0); }
bool TMemIniFile::NameEqual::operator()(std::string_view a, std::string_view b) const {
  return SameTextAscii(a, b);
}

void TMemIniFile::Load(std::string_view source) {
  auto owned = std::make_shared<const std::string>(source);
  const std::string_view text = *owned;
  sections_.clear();
  entries_.clear();
  section_index_.clear();
  key_index_.clear();
  text_ = std::move(owned);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = FindLineBreak(text, pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      // A repeated header starts over: the index points at the last section of a name,
      // so the earlier one is no longer reachable.
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      section_index_.insert_or_assign(name, sections_.size());
      sections_.push_back(Section{name, entries_.size(), entries_.size()});
      continue;
    }
    if (sections_.empty()) continue;
    const size_t eq = line.find('=');
    const std::string_view key = Trim(eq == std::string_view::npos ? line : line.substr(0, eq));
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
    auto [it, added] = key_index_.try_emplace(KeyRef{sections_.size() - 1, key}, entries_.size());
    if (!added) {
      // The last occurrence of a key wins and takes the place of the earlier one in order.
      entries_[it->second].live = false;
      it->second = entries_.size();
    }
    entries_.push_back(Entry{key, value, true});
    sections_.back().end = entries_.size();
  }
}

size_t TMemIniFile::FindSection(std::string_view name) const {
  const auto it = section_index_.find(name);
  return it == section_index_.end() ? std::string_view::npos : it->second;
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(std::string_view section,
                                                 std::string_view key) const {
  const size_t s = FindSection(section);
  if (s == std::string_view::npos) return nullptr;
  const auto it = key_index_.find(KeyRef{s, key});
  return it == key_index_.end() ? nullptr : &entries_[it->second];
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key,
                                    const std::string& default_value) const {
  const Entry* e = FindEntry(section, key);
  return e ? std::string(e->value) : default_value;
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
  const size_t s = FindSection(section);
  return s != std::string_view::npos && sections_[s].end > sections_[s].first;
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindEntry(section, key) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSectionKeys(std::string_view section) const {
  std::vector<std::string> keys;
  const size_t s = FindSection(section);
  if (s == std::string_view::npos) return keys;
  for (size_t i = sections_[s].first; i < sections_[s].end; ++i)
    if (entries_[i].live) keys.emplace_back(entries_[i].key);
  return keys;
}

}  // namespace kv

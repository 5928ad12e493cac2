#include "base/ini_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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
uint32_t HashNoCase(std::string_view s, size_t seed) {
  uint64_t h = 1469598103934665603ull ^ seed;
  for (char c : s) {
    h ^= static_cast<unsigned char>(LowerAscii(c));
    h *= 1099511628211ull;
  }
  return static_cast<uint32_t>(h ^ (h >> 32));
}

// Finds the slot whose item `same` accepts, or the free slot where it would go.
template <class Same>
size_t Probe(const std::vector<uint32_t>& slots, size_t hash, Same same) {
  const size_t mask = slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask)
    if (slots[i] == 0 || same(slots[i] - 1)) return i;
}

// Doubles the table before it gets more than half full, putting every item again.
template <class HashOf>
void Reserve(std::vector<uint32_t>& slots, size_t count, HashOf hashOf) {
  if (2 * (count + 1) <= slots.size()) return;
  std::vector<uint32_t> grown(2 * slots.size(), 0);
  const size_t mask = grown.size() - 1;
  for (uint32_t item : slots) {
    if (item == 0) continue;
    size_t i = hashOf(item - 1) & mask;
    while (grown[i] != 0) i = (i + 1) & mask;
    grown[i] = item;
  }
  slots.swap(grown);
}

// A power of two of at least 64 slots and `items`.
size_t TableSize(size_t items) {
  size_t size = 64;
  while (size < items) size *= 2;
  return size;
}

// End of the line at `pos`: its first CR or LF, or the end of the text. `lf` carries the
// next LF from line to line, so a text without LFs is not searched again for every line.
size_t LineEnd(std::string_view text, size_t pos, size_t& lf) {
  if (lf != std::string_view::npos && lf < pos) lf = text.find('\n', pos);
  const size_t limit = lf == std::string_view::npos ? text.size() : lf;
  const void* cr = std::memchr(text.data() + pos, '\r', limit - pos);
  return cr == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(cr) - text.data());
}

}  // namespace

size_t TMemIniFile::SectionSlot(std::string_view name, uint32_t hash) const {
  return Probe(section_slots_, hash, [&](size_t s) {
    return sections_[s].hash == hash && SameTextAscii(View(sections_[s].name), name);
  });
}

size_t TMemIniFile::KeySlot(size_t section, std::string_view key, uint32_t hash) const {
  return Probe(key_slots_, hash, [&](size_t e) {
    return entries_[e].hash == hash && entries_[e].section == section && SameTextAscii(View(entries_[e].key), key);
  });
}

TMemIniFile::Span TMemIniFile::SpanOf(std::string_view text, std::string_view part) {
  if (part.empty()) return Span{};
  return Span{static_cast<uint32_t>(part.data() - text.data()), static_cast<uint32_t>(part.size())};
}

void TMemIniFile::Load(std::string_view source) { Load(std::make_shared<const std::string>(source)); }

void TMemIniFile::Load(std::shared_ptr<const std::string> owned) {
  if (owned == nullptr) owned = std::make_shared<const std::string>();
  std::string_view text = *owned;
  // Places are 32-bit: a line that starts beyond that is not read.
  if (text.size() > UINT32_MAX) text = text.substr(0, text.rfind('\n', UINT32_MAX - 1) + 1);
  sections_.clear();
  entries_.clear();
  // Every entry is a line: reserved at once, a large report is not copied as it grows.
  entries_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  // Sized for a line per 16 bytes and a section per 64, so a state report seldom has to
  // be put into a grown table again.
  section_slots_.assign(TableSize(text.size() / 64), 0);
  key_slots_.assign(TableSize(text.size() / 16), 0);
  text_ = std::move(owned);
  size_t pos = 0;
  size_t lf = text.find('\n');
  while (pos <= text.size()) {
    size_t end = LineEnd(text, pos, lf);
    std::string_view line = Trim(text.substr(pos, end - pos));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      // A repeated header starts over: the index points at the last section of a name,
      // so the earlier one is no longer reachable.
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      const uint32_t hash = HashNoCase(name, 0);
      Reserve(section_slots_, sections_.size(), [&](size_t s) { return sections_[s].hash; });
      section_slots_[SectionSlot(name, hash)] = static_cast<uint32_t>(sections_.size() + 1);
      const auto first = static_cast<uint32_t>(entries_.size());
      sections_.push_back(Section{SpanOf(text, name), hash, first, first});
      continue;
    }
    if (sections_.empty()) continue;
    const size_t eq = line.find('=');
    const std::string_view key = Trim(eq == std::string_view::npos ? line : line.substr(0, eq));
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
    const auto section = static_cast<uint32_t>(sections_.size() - 1);
    const uint32_t hash = HashNoCase(key, section);
    Reserve(key_slots_, entries_.size(), [&](size_t e) { return entries_[e].hash; });
    uint32_t& slot = key_slots_[KeySlot(section, key, hash)];
    // The last occurrence of a key wins and takes the place of the earlier one in order.
    if (slot != 0) entries_[slot - 1].live = false;
    slot = static_cast<uint32_t>(entries_.size() + 1);
    entries_.push_back(Entry{SpanOf(text, key), SpanOf(text, value), section, hash, true});
    sections_.back().end = static_cast<uint32_t>(entries_.size());
  }
  // Section headers and blank lines took no entry.
  entries_.shrink_to_fit();
  sections_.shrink_to_fit();
}

size_t TMemIniFile::FindSection(std::string_view name) const {
  if (section_slots_.empty()) return std::string_view::npos;
  const uint32_t slot = section_slots_[SectionSlot(name, HashNoCase(name, 0))];
  return slot == 0 ? std::string_view::npos : slot - 1;
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(std::string_view section,
                                                 std::string_view key) const {
  const size_t s = FindSection(section);
  if (s == std::string_view::npos || key_slots_.empty()) return nullptr;
  const uint32_t slot = key_slots_[KeySlot(s, key, HashNoCase(key, s))];
  return slot == 0 ? nullptr : &entries_[slot - 1];
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key,
                                    const std::string& default_value) const {
  const Entry* e = FindEntry(section, key);
  return e ? std::string(View(e->value)) : default_value;
}

int64_t TMemIniFile::ReadInteger(std::string_view section, std::string_view key,
                                 int64_t default_value) const {
  const Entry* e = FindEntry(section, key);
  int64_t value = 0;
  if (e == nullptr || !ParseIniInteger(View(e->value), value)) return default_value;
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
    if (entries_[i].live) keys.emplace_back(View(entries_[i].key));
  return keys;
}

}  // namespace kv

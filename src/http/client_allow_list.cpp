#include "http/client_allow_list.h"

namespace kv {

namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Decimal digits only, at most `digits` of them, within 0..max.
bool SmallNumber(const std::string& text, int digits, uint32_t max, uint32_t& value) {
  if (text.empty() || text.size() > static_cast<size_t>(digits)) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value <= max;
}

}  // namespace

bool ParseIPv4(const std::string& text, uint32_t& address) {
  address = 0;
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = part < 3 ? text.find('.', start) : text.size();
    if (dot == std::string::npos) return false;
    const std::string digits = text.substr(start, dot - start);
    // The resolver reads "010" as octal (8); refused, so that the address bound and the
    // addresses matched never differ.
    if (digits.size() > 1 && digits[0] == '0') return false;
    uint32_t byte = 0;
    if (!SmallNumber(digits, 3, 255, byte)) return false;
    address = address << 8 | byte;
    start = dot + 1;
  }
  return true;
}

TClientAllowList::TClientAllowList(const std::string& setting) {
  if (Trimmed(setting).empty()) return;
  everyone_ = false;
  size_t start = 0;
  while (start <= setting.size()) {
    size_t comma = setting.find(',', start);
    if (comma == std::string::npos) comma = setting.size();
    const std::string entry = Trimmed(setting.substr(start, comma - start));
    start = comma + 1;
    if (entry.empty()) continue;  // "a, b," has two entries
    const size_t slash = entry.find('/');
    uint32_t address = 0, bits = 32;
    if (!ParseIPv4(entry.substr(0, slash), address) ||
        (slash != std::string::npos && !SmallNumber(entry.substr(slash + 1), 2, 32, bits))) {
      // Fail closed: nobody but this machine.
      bad_entry_ = entry;
      ranges_.assign(1, TRange{0x7F000001u, 0xFFFFFFFFu});
      return;
    }
    const uint32_t mask = bits == 0 ? 0 : 0xFFFFFFFFu << (32 - bits);
    ranges_.push_back({address & mask, mask});
  }
}

bool TClientAllowList::Allows(const std::string& clientAddress) const {
  if (everyone_) return true;
  uint32_t address = 0;
  if (!ParseIPv4(clientAddress, address)) return false;
  for (const TRange& r : ranges_)
    if ((address & r.mask) == r.network) return true;
  return false;
}

}  // namespace kv

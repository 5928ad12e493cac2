#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <unordered_map>

#include "platform/codepage.h"

namespace kv::platform {
namespace {

using ByteTable = std::array<char, 256>;

// Both code pages are single-byte, so one table built once through iconv answers every
// later call without iconv's per-call state. Bytes iconv rejects (0x98 is unassigned in
// Windows-1251) or cannot map become '?'. Without the converter (a system without gconv
// modules) ASCII still passes through.
ByteTable BuildTable() {
  ByteTable table{};
  for (int b = 0; b < 256; ++b) table[b] = b < 0x80 ? static_cast<char>(b) : '?';
  iconv_t cd = iconv_open("CP866", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return table;
  for (int b = 0x80; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[8];
    char* in_ptr = &in;
    size_t in_left = 1;
    char* out_ptr = out;
    size_t out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    if (rc == 0 && in_left == 0 && sizeof out - out_left == 1) table[b] = out[0];
  }
  iconv_close(cd);
  return table;
}

const ByteTable& Table() {
  static const ByteTable table = BuildTable();
  return table;
}

// Unicode code unit -> Windows-1251 byte, for the bytes 0x80 and up; ASCII maps to itself.
using UnitTable = std::unordered_map<uint16_t, char>;

UnitTable BuildUnitTable() {
  UnitTable table;
  iconv_t cd = iconv_open("UTF-16LE", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return table;
  for (int b = 0x80; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[8];
    char* in_ptr = &in;
    size_t in_left = 1;
    char* out_ptr = reinterpret_cast<char*>(out);
    size_t out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    if (rc == 0 && in_left == 0 && sizeof out - out_left == 2)
      table.emplace(static_cast<uint16_t>(out[0] | (out[1] << 8)), static_cast<char>(b));
  }
  iconv_close(cd);
  return table;
}

}  // namespace

std::string ConvertUtf16ToAnsi(std::string_view utf16, bool big_endian) {
  static const UnitTable units = BuildUnitTable();
  std::string out;
  out.reserve(utf16.size() / 2);
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const uint16_t unit = Utf16UnitAt(utf16, i, big_endian);
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      continue;  // the second half of a pair, already told by its first half
    } else {
      const auto found = units.find(unit);
      out += found != units.end() ? found->second : '?';
    }
  }
  return out;
}

std::string FileNameToUtf8(const std::string& name) { return name; }

std::string ConvertAnsiToOem(const std::string& text) {
  const ByteTable& table = Table();
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = table[static_cast<unsigned char>(text[i])];
  return out;
}

unsigned AnsiCodePage() { return 1251; }
unsigned OemCodePage() { return 866; }

}  // namespace kv::platform

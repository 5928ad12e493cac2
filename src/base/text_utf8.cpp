#include "base/text_utf8.h"

#include <cstdint>

namespace kv {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr uint16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

}  // namespace

void AppendCp1251High(std::string& out, unsigned char b) {
  const uint32_t cp = b >= 0xC0 ? 0x0410 + (b - 0xC0) : kHigh[b - 0x80];
  if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  static constexpr TSpecialBytes kHighBytes = SpecialBytes([](unsigned) { return false; });
  AppendUtf8Escaped(out, text, kHighBytes, [](std::string&, unsigned char) {});
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  static constexpr TSpecialBytes kSpecial =
      SpecialBytes([](unsigned b) { return b < 0x20 || b == '"' || b == '\\'; });
  AppendUtf8Escaped(out, text, kSpecial, [](std::string& o, unsigned char b) {
    static const char kHex[] = "0123456789abcdef";
    if (b == '"') o += "\\\"";
    else if (b == '\\') o += "\\\\";
    else if (b == '\n') o += "\\n";
    else if (b == '\r') o += "\\r";
    else if (b == '\t') o += "\\t";
    else o.append("\\u00").append(1, kHex[b >> 4]).append(1, kHex[b & 15]);
  });
  out += '"';
}

}  // namespace kv

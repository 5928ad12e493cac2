#pragma once
// Windows-1251 bytes to UTF-8 for the machine-readable outputs (metrics labels, JSON).
// In base/ so that every layer that writes JSON (the state report, the history export)
// quotes its strings the same way.
//
//   "\xC4\xE8\xF1\xEA" -> "Диск"     byte 0x98 (unassigned) -> U+FFFD
//
// ASCII passes through unchanged; every other byte becomes the two or three UTF-8 bytes of
// its Windows-1251 character. Pure; any thread.
#include <array>
#include <string>
#include <string_view>

namespace kv {

std::string Cp1251ToUtf8(std::string_view text);

// Appends `text` as a quoted JSON string in UTF-8: " and \ escaped, control bytes as \n,
// \r, \t or \u00XX.
void AppendJsonString(std::string& out, std::string_view text);

// Appends the UTF-8 bytes of one Windows-1251 byte of 0x80 and up.
void AppendCp1251High(std::string& out, unsigned char byte);

// Bytes a format cannot copy as they are: every byte of 0x80 and up, and the ASCII bytes
// `escaped` picks. A table, so the copying loop tests each byte once.
using TSpecialBytes = std::array<bool, 256>;
template <class Escaped>
constexpr TSpecialBytes SpecialBytes(Escaped escaped) {
  TSpecialBytes special{};
  for (unsigned b = 0; b < 256; ++b) special[b] = b >= 0x80 || escaped(b);
  return special;
}

// Appends `text` converted to UTF-8, except that every special ASCII byte goes to
// `escape(out, byte)`. Runs of bytes that need nothing are copied whole: nearly every
// value is plain ASCII.
template <class Escape>
void AppendUtf8Escaped(std::string& out, std::string_view text, const TSpecialBytes& special, Escape escape) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (!special[b]) continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    if (b >= 0x80) AppendCp1251High(out, b);
    else escape(out, b);
  }
  out.append(text.data() + run, text.size() - run);
}

}  // namespace kv

#pragma once
// Windows-1251 bytes to UTF-8 for the machine-readable outputs (metrics labels, JSON).
//
//   "\xC4\xE8\xF1\xEA" -> "Диск"     byte 0x98 (unassigned) -> U+FFFD
//
// ASCII passes through unchanged; every other byte becomes the two or three UTF-8 bytes of
// its Windows-1251 character. Pure; any thread.
#include <string>
#include <string_view>

namespace kv {

std::string Cp1251ToUtf8(std::string_view text);

}  // namespace kv

#pragma once
// Conversion of 8-bit texts from the ANSI code page to the OEM code page, as ZIP tools
// expect names and comments without the UTF-8 flag; and of UTF-16 texts (a listing saved by
// PowerShell's '>') to the ANSI code page every text of the program is kept in.
//
// Windows uses the system's own ANSI and OEM code pages. Linux has no such setting and
// converts Windows-1251 to CP866, the pair of a Russian Windows. Both code pages are
// single-byte, so the result has exactly as many bytes as the input; a byte without a
// counterpart becomes '?'. Any thread; never throws except std::bad_alloc.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

// (Not "AnsiToOem": windows.h turns that name into a macro.)
std::string ConvertAnsiToOem(const std::string& text);

// UTF-16 code units (two bytes each, little- or big-endian, no byte-order mark; an odd
// last byte is dropped) to the ANSI code page. A character the page lacks, a surrogate
// pair included, becomes one '?'.
std::string ConvertUtf16ToAnsi(std::string_view utf16, bool big_endian);

// A file name as the program keeps it (the ANSI code page on Windows, bytes on Linux) in the
// UTF-8 that libraries taking UTF-8 names expect (SQLite on Windows). Linux: as it is.
std::string FileNameToUtf8(const std::string& name);

// The code unit at byte `at` of a UTF-16 text (at + 1 < size).
inline uint16_t Utf16UnitAt(std::string_view utf16, size_t at, bool big_endian) {
  const auto first = static_cast<unsigned char>(utf16[at]);
  const auto second = static_cast<unsigned char>(utf16[at + 1]);
  return static_cast<uint16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
}

// The code page numbers ConvertAnsiToOem converts between (1251 and 866 on Linux).
unsigned AnsiCodePage();
unsigned OemCodePage();

}  // namespace kv::platform

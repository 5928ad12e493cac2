#pragma once
// Conversion of 8-bit texts from the ANSI code page to the OEM code page, as ZIP tools
// expect names and comments without the UTF-8 flag; and of UTF-16 texts (a listing saved by
// PowerShell's '>') to the ANSI code page every text of the program is kept in.
//
// Windows uses the system's own ANSI and OEM code pages. Linux has no such setting and
// converts Windows-1251 to CP866, the pair of a Russian Windows. Both code pages are
// single-byte, so the result has exactly as many bytes as the input; a byte without a
// counterpart becomes '?'. Any thread; never throws except std::bad_alloc.
#include <string>
#include <string_view>

namespace kv::platform {

// (Not "AnsiToOem": windows.h turns that name into a macro.)
std::string ConvertAnsiToOem(const std::string& text);

// UTF-16 code units (two bytes each, little- or big-endian, no byte-order mark; an odd
// last byte is dropped) to the ANSI code page. A character the page lacks, a surrogate
// pair included, becomes one '?'.
std::string ConvertUtf16ToAnsi(std::string_view utf16, bool big_endian);

// The code page numbers ConvertAnsiToOem converts between (1251 and 866 on Linux).
unsigned AnsiCodePage();
unsigned OemCodePage();

}  // namespace kv::platform

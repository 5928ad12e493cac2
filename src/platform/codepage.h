#pragma once
// Conversion of 8-bit texts from the ANSI code page to the OEM code page, as ZIP tools
// expect names and comments without the UTF-8 flag.
//
// Windows uses the system's own ANSI and OEM code pages. Linux has no such setting and
// converts Windows-1251 to CP866, the pair of a Russian Windows. Both code pages are
// single-byte, so the result has exactly as many bytes as the input; a byte without a
// counterpart becomes '?'. Any thread; never throws except std::bad_alloc.
#include <string>

namespace kv::platform {

// (Not "AnsiToOem": windows.h turns that name into a macro.)
std::string ConvertAnsiToOem(const std::string& text);

// The code page numbers ConvertAnsiToOem converts between (1251 and 866 on Linux).
unsigned AnsiCodePage();
unsigned OemCodePage();

}  // namespace kv::platform

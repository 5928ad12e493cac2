#include <windows.h>

#include <string>

#include "platform/codepage.h"

namespace kv::platform {

// ANSI -> UTF-16 -> OEM with the system's code pages; characters the OEM page lacks
// become '?'. Both pages are single-byte on every system this program supports, but the
// result length is taken from the API in case of a double-byte OEM page.
std::string ConvertAnsiToOem(const std::string& text) {
  if (text.empty()) return std::string();
  const int in_len = static_cast<int>(text.size());
  int wide_len = MultiByteToWideChar(CP_ACP, 0, text.data(), in_len, nullptr, 0);
  if (wide_len <= 0) return std::string(text.size(), '?');
  std::wstring wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), in_len, wide.data(), wide_len);
  int out_len = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wide_len, nullptr, 0, "?", nullptr);
  if (out_len <= 0) return std::string(text.size(), '?');
  std::string out(static_cast<size_t>(out_len), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wide_len, out.data(), out_len, "?", nullptr);
  return out;
}

std::string FileNameToUtf8(const std::string& name) {
  if (name.empty()) return std::string();
  const int in_len = static_cast<int>(name.size());
  const int wide_len = MultiByteToWideChar(CP_ACP, 0, name.data(), in_len, nullptr, 0);
  if (wide_len <= 0) return name;
  std::wstring wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), in_len, wide.data(), wide_len);
  const int out_len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  if (out_len <= 0) return name;
  std::string out(static_cast<size_t>(out_len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, out.data(), out_len, nullptr, nullptr);
  return out;
}

std::string ConvertUtf16ToAnsi(std::string_view utf16, bool big_endian) {
  std::wstring wide;
  wide.reserve(utf16.size() / 2);
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(Utf16UnitAt(utf16, i, big_endian));
    // A character outside the basic plane is one '?', as on Linux, not one per half.
    if (unit >= 0xDC00 && unit <= 0xDFFF) continue;
    wide += unit >= 0xD800 && unit <= 0xDBFF ? L'?' : unit;
  }
  if (wide.empty()) return std::string();
  // A character the page lacks becomes '?', not a look-alike, as on Linux. A UTF-8 system
  // page takes every character and refuses both the flag and a default character.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "?";
  const int wide_len = static_cast<int>(wide.size());
  const int out_len = WideCharToMultiByte(CP_ACP, flags, wide.data(), wide_len, nullptr, 0, fallback, nullptr);
  if (out_len <= 0) return std::string(wide.size(), '?');
  std::string out(static_cast<size_t>(out_len), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), wide_len, out.data(), out_len, fallback, nullptr);
  return out;
}

unsigned AnsiCodePage() { return GetACP(); }
unsigned OemCodePage() { return GetOEMCP(); }

}  // namespace kv::platform

#pragma once
// The system's own words for a Windows error code, without the closing period and line
// end: "There is not enough space on the disk"; "error 1234" when it has none.
#include <windows.h>

#include <string>

namespace kv::platform {

inline std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == '.')) --n;
  std::string text(buffer, n);
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

}  // namespace kv::platform

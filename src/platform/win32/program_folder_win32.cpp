#include <windows.h>

#include <string>

#include "platform/program_folder.h"

namespace kv::platform {

std::string ExecutablePath() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
}

std::string ProgramFolder() {
  std::string path = ExecutablePath();
  size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

char PathSeparator() { return '\\'; }

}  // namespace kv::platform

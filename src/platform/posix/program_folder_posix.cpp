#include <unistd.h>

#include <climits>
#include <string>

#include "platform/program_folder.h"

namespace kv::platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ProgramFolder() {
  std::string path = ExecutablePath();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

char PathSeparator() { return '/'; }

}  // namespace kv::platform

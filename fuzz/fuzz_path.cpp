// Path resolution of request targets. Oracle: when a target passes the checks that let
// it reach the disk, the file name built from it stays below the program folder, under
// both the POSIX and the Windows rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "http/request_path.h"

namespace {

// Lexically resolves "." and ".." in a "/"-separated path; false when it climbs above "/".
bool StaysBelowRoot(const std::string& path) {
  int depth = 0;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

void Check(const std::string& target, kv::PathRules rules) {
  const std::string dir = kv::ExtractRequestDir(target);
  const std::string name = kv::ExtractRequestName(target);
  if (!kv::IsServablePath(dir, name, rules)) return;
  // What the router opens: program folder + dir + name. Under Windows rules "\" and ":"
  // also separate or root a path, so neither may survive the checks.
  const std::string local = dir + name;
  if (rules == kv::PathRules::kWindows &&
      local.find_first_of("\\:") != std::string::npos)
    std::abort();
  if (local.find('\0') != std::string::npos) std::abort();
  if (!StaysBelowRoot(local)) std::abort();
  const std::filesystem::path root("/srv/kv");
  const std::filesystem::path joined = (root.string() + local);
  const std::string normal = joined.lexically_normal().string();
  if (normal.rfind("/srv/kv/", 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string target(reinterpret_cast<const char*>(data), size);
  Check(target, kv::PathRules::kPosix);
  Check(target, kv::PathRules::kWindows);
  (void)kv::StripQuery(target);
  (void)kv::TrimBlanks(target);
  (void)kv::IsLoopbackAddress(target);
  (void)kv::AddTrailingDelimiter(target, '\\');
  return 0;
}

#pragma once
// Files the unit tests read: whole files as bytes, and the demo controller's listings.
#include <fstream>
#include <sstream>
#include <string>

namespace kv::test {

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buf;
  buf << in.rdbuf();
  return buf.str();
}

// The folder of the demo controller's saved listings, ending in "/".
inline const std::string kDemoDir = std::string(KV_SOURCE_DIR) + "/examples/demo/";

}  // namespace kv::test

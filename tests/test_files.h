#pragma once
// Files the unit tests read: whole files as bytes, the demo controller's listings and the
// program's embedded files.
#include <fstream>
#include <sstream>
#include <string>

#include <memory>

#include "model/smart_names.h"
#include "resources/resource_store.h"

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

// The embedded files of the program, unpacked once for the whole test binary.
inline const TMFileList& EmbeddedFiles() {
  static const TMFileList& files = *[] {
    auto* store = new TMFileList();  // never freed: server threads of a test may outlive main
    LoadEmbeddedResources(*store);
    return store;
  }();
  return files;
}

// The shipped SATA attribute-name table, as the collection hands it to every core.
inline std::shared_ptr<const TKVSmartNamesList> ShippedSmartNames() {
  std::string text;
  EmbeddedFiles().Find("smart_params.txt", text);
  return std::make_shared<const TKVSmartNamesList>(text);
}

}  // namespace kv::test

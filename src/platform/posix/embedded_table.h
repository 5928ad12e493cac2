#pragma once
// The table the build generates from resources/: one row per container, in the order
// the packer wrote them. Defined in the generated source linked into the program.
#include <cstddef>

namespace kv::platform {

struct EmbeddedContainer {
  const char* name;            // resource name ("LOGO_D_PNG")
  const unsigned char* bytes;  // the container
  std::size_t size;
};

extern const EmbeddedContainer kEmbeddedContainers[];
extern const std::size_t kEmbeddedContainerCount;

}  // namespace kv::platform

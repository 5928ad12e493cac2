#include "platform/runtime_resources.h"
#include "platform/posix/embedded_table.h"

namespace kv::platform {

std::vector<RuntimeResource> EnumerateRuntimeResources() {
  std::vector<RuntimeResource> out;
  out.reserve(kEmbeddedContainerCount);
  for (std::size_t i = 0; i < kEmbeddedContainerCount; ++i) {
    const EmbeddedContainer& row = kEmbeddedContainers[i];
    if (row.name == nullptr || row.bytes == nullptr) continue;
    out.push_back({row.name, std::string_view(reinterpret_cast<const char*>(row.bytes), row.size)});
  }
  return out;
}

}  // namespace kv::platform

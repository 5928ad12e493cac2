#pragma once
// Enumeration of the program's own embedded "RES_RUNTIME" resources.
//
// Windows: the module's PE resources; types and names given by number are skipped and the
// type name is compared trimmed and case-blind. Linux: the table generated at build time
// from the same containers. The bytes live as long as the process (module image or static
// data), so views are handed out, never copies.
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

struct RuntimeResource {
  std::string name;        // resource name as stored, trimmed ("LOGO_D_PNG")
  std::string_view bytes;  // the container
};

// In enumeration order; resources that cannot be read are left out.
std::vector<RuntimeResource> EnumerateRuntimeResources();

}  // namespace kv::platform

#include "platform/os_facts.h"

namespace kv::platform {

const OsFacts& GetOsFacts() {
  static const OsFacts facts = GatherOsFacts();
  return facts;
}

}  // namespace kv::platform

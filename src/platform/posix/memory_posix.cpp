#include "platform/memory.h"

#include <malloc.h>

namespace kv::platform {

void ReturnFreeHeap() { malloc_trim(0); }

}  // namespace kv::platform

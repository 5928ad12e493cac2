#include "platform/memory.h"

#include <malloc.h>

namespace kv::platform {

void ReturnFreeHeap() { _heapmin(); }

}  // namespace kv::platform

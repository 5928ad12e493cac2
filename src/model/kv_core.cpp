#include "model/kv_core.h"

namespace kv {

// Out of line so that Templates may stay an incomplete type here.
TKVCore::~TKVCore() = default;

}  // namespace kv

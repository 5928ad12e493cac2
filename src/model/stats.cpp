#include "model/stats.h"

#include "base/text_case.h"
#include "base/text_helpers.h"

namespace kv {

const TKVStatsCacheItem* TKVStatsCache::FindBySerial(const std::string& serial) const {
  const std::string wanted = LowerCaseAscii(TrimBlanks(serial));
  for (size_t i = items_.size(); i-- > 0;)
    if (LowerCaseAscii(items_[i]->SerialNumber) == wanted) return items_[i].get();
  return nullptr;
}

}  // namespace kv

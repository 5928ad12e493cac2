#pragma once
// PageLock guards every text the HTTP threads read from the collection (main page, raw
// text, state report, drive pages, support archive). Hold it only for a copy or a
// publication; never take another lock while holding it and never write the core log
// under it.
#include <mutex>

namespace kv {

std::mutex& PageLock();

}  // namespace kv

#pragma once
// Local Unix seconds (local date and time counted from 1970-01-01 00:00, no zone) as
// "2026-12-09 03:10:00". Pure; any thread.
#include <cstdint>
#include <string>

namespace kv {

std::string LocalTimeText(int64_t localSeconds);

}  // namespace kv

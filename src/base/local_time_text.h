#pragma once
// Local Unix seconds (local date and time counted from 1970-01-01 00:00, no zone) as a
// civil date and time. Pure; any thread.
#include <cstdint>
#include <string>

namespace kv {

struct TCivilTime {
  int64_t year, month, day, hour, minute, second;
};

// Proleptic Gregorian; seconds before 1970 count backwards.
TCivilTime CivilTime(int64_t localSeconds);

// "2026-12-09 03:10:00".
std::string LocalTimeText(int64_t localSeconds);

// "20261209-031000": for a file name.
std::string FileTimeStamp(int64_t localSeconds);

}  // namespace kv

#pragma once
// The local wall clock. "Local Unix seconds" are the local date and time counted from
// 1970-01-01 00:00 with no zone correction; they drive scheduling, the restart check and
// the report's time= line.
#include <cstdint>

namespace kv::platform {

struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_week = 4;  // 0 = Sunday
};

LocalDateTime LocalNow();
int64_t LocalUnixSeconds();

// Minutes to add to local time to get UTC at this moment, daylight bias included
// (Berlin in summer: -120; New York in winter: +300).
int ZoneBiasMinutes();

// Date and time separators of the regional settings ('/' and ':' on Linux).
char DateSeparator();
char TimeSeparator();

// Milliseconds from an arbitrary fixed point, wrapping at 2^32 like the system tick count.
uint32_t TickCountMs();

// Milliseconds since the system booted.
uint64_t SystemUptimeMs();

}  // namespace kv::platform

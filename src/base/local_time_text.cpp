#include "base/local_time_text.h"

#include <cstdio>

namespace kv {

TCivilTime CivilTime(int64_t localSeconds) {
  int64_t days = localSeconds / 86400;
  int64_t rest = localSeconds % 86400;
  if (rest < 0) rest += 86400, --days;
  days += 719468;  // days from 0000-03-01 to 1970-01-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (month <= 2), month, doy - (153 * mp + 2) / 5 + 1, rest / 3600, rest / 60 % 60, rest % 60};
}

namespace {

std::string CivilText(int64_t localSeconds, const char* format) {
  const TCivilTime t = CivilTime(localSeconds);
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<long long>(t.year), static_cast<long long>(t.month),
                static_cast<long long>(t.day), static_cast<long long>(t.hour), static_cast<long long>(t.minute),
                static_cast<long long>(t.second));
  return text;
}

}  // namespace

std::string LocalTimeText(int64_t localSeconds) {
  return CivilText(localSeconds, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld");
}

std::string FileTimeStamp(int64_t localSeconds) {
  return CivilText(localSeconds, "%04lld%02lld%02lld-%02lld%02lld%02lld");
}

}  // namespace kv

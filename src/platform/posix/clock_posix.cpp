#include <sys/sysinfo.h>
#include <time.h>

#include <cstdio>

#include "platform/clock.h"

namespace kv::platform {
namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

LocalDateTime LocalNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  t.day_of_week = local.tm_wday;
  return t;
}

int64_t LocalUnixSeconds() {
  LocalDateTime t = LocalNow();
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

int ZoneBiasMinutes() {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(-local.tm_gmtoff / 60);
}

char DateSeparator() { return '/'; }
char TimeSeparator() { return ':'; }

uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint64_t SystemUptimeMs() {
  if (FILE* f = std::fopen("/proc/uptime", "r")) {
    double seconds = 0;
    int got = std::fscanf(f, "%lf", &seconds);
    std::fclose(f);
    if (got == 1 && seconds >= 0) return static_cast<uint64_t>(seconds * 1000.0);
  }
  struct sysinfo info {};
  if (sysinfo(&info) == 0) return static_cast<uint64_t>(info.uptime) * 1000u;
  return 0;
}

}  // namespace kv::platform

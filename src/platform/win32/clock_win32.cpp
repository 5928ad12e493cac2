#include <windows.h>
#include <winternl.h>

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

char LocaleSeparator(LCTYPE type, char fallback) {
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer) > 1) return buffer[0];
  return fallback;
}

}  // namespace

LocalDateTime LocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  LocalDateTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  t.day_of_week = st.wDayOfWeek;
  return t;
}

int64_t LocalUnixSeconds() {
  LocalDateTime t = LocalNow();
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

int ZoneBiasMinutes() {
  TIME_ZONE_INFORMATION tz{};
  DWORD mode = GetTimeZoneInformation(&tz);
  int bias = static_cast<int>(tz.Bias);
  if (mode == TIME_ZONE_ID_DAYLIGHT) bias += static_cast<int>(tz.DaylightBias);
  else if (mode == TIME_ZONE_ID_STANDARD) bias += static_cast<int>(tz.StandardBias);
  return bias;
}

char DateSeparator() { return LocaleSeparator(LOCALE_SDATE, '/'); }
char TimeSeparator() { return LocaleSeparator(LOCALE_STIME, ':'); }

uint32_t TickCountMs() { return GetTickCount(); }

uint64_t SystemUptimeMs() {
  // System time-of-day information (class 3): boot time and current time in 100 ns units.
  struct TimeOfDayInformation {
    LARGE_INTEGER boot_time;
    LARGE_INTEGER current_time;
    LARGE_INTEGER time_zone_bias;
    ULONG time_zone_id;
    ULONG reserved;
    ULONGLONG boot_time_bias;
    ULONGLONG sleep_time_bias;
  } info{};
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto query = ntdll ? reinterpret_cast<QueryFn>(
                           reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
                     : nullptr;
  if (query != nullptr && query(3, &info, sizeof info, nullptr) == 0 &&
      info.current_time.QuadPart >= info.boot_time.QuadPart) {
    return static_cast<uint64_t>(info.current_time.QuadPart - info.boot_time.QuadPart) / 10000u;
  }
  return GetTickCount64();
}

}  // namespace kv::platform

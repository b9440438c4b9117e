// Local time and the millisecond tick counter on POSIX: the real-time clock
// broken down in the local time zone, and the monotonic clock in milliseconds.

#include "plat/Clock.h"

#include <time.h>

#include <mutex>

namespace plat {
namespace {

// localtime_r need not read the TZ variable itself; tzset does, once.
void LoadTimeZone() {
  static std::once_flag once;
  std::call_once(once, [] { tzset(); });
}

}  // namespace

void LocalTime(SystemTime* now) {
  LoadTimeZone();
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // The broken-down time of the last second asked for, per thread: the
  // local time changes only at second boundaries.
  thread_local time_t cachedSecond = -1;
  thread_local tm local{};
  const time_t seconds = ts.tv_sec;
  if (seconds != cachedSecond) {
    localtime_r(&seconds, &local);
    cachedSecond = seconds;
  }
  now->wYear = static_cast<uint16_t>(local.tm_year + 1900);
  now->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  now->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  now->wDay = static_cast<uint16_t>(local.tm_mday);
  now->wHour = static_cast<uint16_t>(local.tm_hour);
  now->wMinute = static_cast<uint16_t>(local.tm_min);
  // A leap second (60) is folded into the last second of the minute, as
  // SYSTEMTIME has no room for it.
  now->wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  now->wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
}

uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace plat

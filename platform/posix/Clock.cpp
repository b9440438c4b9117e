// Local time and the millisecond tick counter on POSIX: the real-time clock
// broken down in the local time zone, and the monotonic clock in milliseconds.

#include "plat/Clock.h"

#include <time.h>

#include "Clocks.h"

namespace plat {

void LocalTime(SystemTime* now) {
  detail::LoadTimeZone();
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
  detail::ToSystemTime(local, ts.tv_nsec, now);
}

uint32_t TickCount() { return static_cast<uint32_t>(detail::MonotonicMs()); }

}  // namespace plat

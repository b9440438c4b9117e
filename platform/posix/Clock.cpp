// Local time and the millisecond tick counter on POSIX: the real-time clock
// broken down in the local time zone, and the coarse monotonic clock in
// milliseconds.

#include "plat/Clock.h"

#include <time.h>

#include "Clocks.h"

namespace plat {

void LocalTime(SystemTime* now) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // The broken-down time of the last second asked for, per thread: the
  // local time changes only at second boundaries.
  thread_local time_t cachedSecond = -1;
  thread_local tm local{};
  const time_t seconds = ts.tv_sec;
  if (seconds != cachedSecond) {
    detail::LoadTimeZone();
    localtime_r(&seconds, &local);
    cachedSecond = seconds;
  }
  detail::ToSystemTime(local, ts.tv_nsec, now);
}

// GetTickCount moves in steps of 10 to 16 ms; the coarse monotonic clock
// (steps of 1 to 10 ms) is as good, and reading it costs no clock hardware
// access, which matters to the logger that reads it on every record.
uint32_t TickCount() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) return static_cast<uint32_t>(detail::MonotonicMs());
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace plat

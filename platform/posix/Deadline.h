// An absolute time a number of milliseconds from now on a given clock, as
// the timed POSIX waits take it: CLOCK_REALTIME for pthread_mutex_timedlock,
// the clock of a condition variable for pthread_cond_timedwait (internal to
// the POSIX platform layer).
#pragma once

#include <time.h>

#include <cstdint>

namespace plat::detail {

inline timespec DeadlineOn(clockid_t clock, uint32_t ms) {
  timespec t;
  clock_gettime(clock, &t);
  t.tv_sec += ms / 1000;
  t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_nsec -= 1000000000L;
    ++t.tv_sec;
  }
  return t;
}

inline timespec RealtimeDeadline(uint32_t ms) { return DeadlineOn(CLOCK_REALTIME, ms); }

}  // namespace plat::detail

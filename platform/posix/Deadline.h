// The absolute CLOCK_REALTIME time a number of milliseconds from now, as
// the timed POSIX waits (pthread_mutex_timedlock, pthread_cond_timedwait on
// a realtime condition) take it (internal to the POSIX platform layer).
#pragma once

#include <time.h>

#include <cstdint>

namespace plat::detail {

inline timespec RealtimeDeadline(uint32_t ms) {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  t.tv_sec += ms / 1000;
  t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_nsec -= 1000000000L;
    ++t.tv_sec;
  }
  return t;
}

}  // namespace plat::detail

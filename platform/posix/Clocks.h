// The clocks of the POSIX platform layer (internal to it): the monotonic
// clock in milliseconds, and a moment broken down in the local time zone
// into the fields of a SystemTime.
#pragma once

#include <time.h>

#include <cstdint>

#include "plat/Clock.h"

namespace plat::detail {

// CLOCK_MONOTONIC in whole milliseconds.
uint64_t MonotonicMs();

// localtime_r need not read the TZ variable itself: tzset runs once, at the
// first call, before any moment is broken down.
void LoadTimeZone();

// The SystemTime fields of `local` (as localtime_r fills it) with the
// milliseconds of `nanoseconds`. A leap second (60) is folded into the last
// second of the minute, as SYSTEMTIME has no room for it.
void ToSystemTime(const tm& local, long nanoseconds, SystemTime* out);

}  // namespace plat::detail

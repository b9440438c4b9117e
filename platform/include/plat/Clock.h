// Local time and the millisecond tick counter.
#pragma once

#include <cstdint>

namespace plat {

// The field set of a Windows SYSTEMTIME.
struct SystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;  // 0 = Sunday
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};

// GetLocalTime: the current local date and time.
void LocalTime(SystemTime* now);

// GetTickCount: milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t TickCount();

}  // namespace plat

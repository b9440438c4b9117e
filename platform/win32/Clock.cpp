// Local time and the millisecond tick counter: GetLocalTime and GetTickCount.

#include "plat/Clock.h"

#include <windows.h>

#include "Failure.h"

namespace plat {

void LocalTime(SystemTime* now) {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  detail::CopySystemTime(st, now);
}

uint32_t TickCount() { return ::GetTickCount(); }

}  // namespace plat

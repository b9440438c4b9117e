// The timeout of the waiting functions (mutexes, events, threads): a number
// of milliseconds, or kInfinite to wait without limit.
#pragma once

#include <cstdint>

namespace plat {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;  // INFINITE

}  // namespace plat

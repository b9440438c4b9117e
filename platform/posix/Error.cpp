// The last-error value, one per thread as on Windows.

#include "plat/Error.h"

namespace plat {
namespace {
thread_local uint32_t tLastError = 0;
}

uint32_t LastError() { return tLastError; }
void SetLastError(uint32_t code) { tLastError = code; }

}  // namespace plat

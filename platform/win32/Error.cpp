// The last-error value: the thread's own Windows value.

#include "plat/Error.h"

#include <windows.h>

namespace plat {

uint32_t LastError() { return ::GetLastError(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }

}  // namespace plat

// The message catalogue: FormatMessageA on the system's own message table.

#include "plat/Messages.h"

#include <windows.h>

namespace plat {

uint32_t SystemMessage(uint32_t code, uint16_t langId, char* buf, uint32_t size) {
  return ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, langId,
                          buf, size, nullptr);
}

}  // namespace plat

// The user's language and locale information: the Windows functions.

#include "plat/Locale.h"

#include <windows.h>

namespace plat {

uint16_t UserLanguageId() { return ::GetUserDefaultLangID(); }

int LocaleInfo(uint32_t locale, uint32_t item, char* buf, int size) {
  return ::GetLocaleInfoA(locale, item, buf, size);
}

}  // namespace plat

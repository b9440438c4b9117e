// The user's language on POSIX: Russian when the locale variables name a
// Russian locale, English (United States) otherwise.

#include "plat/Locale.h"

#include <cstdio>

#include "CodePages.h"
#include "plat/Error.h"

namespace plat {

uint16_t UserLanguageId() { return detail::LocaleIsRussian() ? kLangRussian : kLangEnglishUS; }

int LocaleInfo(uint32_t locale, uint32_t item, char* buf, int size) {
  if (locale != kLocaleUserDefault || item != kLocaleILanguage || size < 0 || (size > 0 && buf == nullptr)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  char value[8];
  std::snprintf(value, sizeof value, "%04x", UserLanguageId());
  const int needed = 5;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  for (int i = 0; i < needed; ++i) buf[i] = value[i];
  return needed;
}

}  // namespace plat

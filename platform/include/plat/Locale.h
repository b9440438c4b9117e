// The user's language and locale information.
#pragma once

#include <cstdint>

namespace plat {

enum : uint32_t {
  kLocaleUserDefault = 0x0400,  // LOCALE_USER_DEFAULT
  kLocaleILanguage = 0x0001,    // LOCALE_ILANGUAGE: four hexadecimal digits
};

enum : uint16_t {
  kLangEnglishUS = 0x0409,
  kLangRussian = 0x0419,
};

// GetUserDefaultLangID.
uint16_t UserLanguageId();

// GetLocaleInfoA: with size 0 returns the size the value needs (terminating
// zero included); otherwise copies the value into buf and returns the number
// of characters written, zero included. Returns 0 on failure (unknown
// locale or item, buffer too small), with the last error set.
int LocaleInfo(uint32_t locale, uint32_t item, char* buf, int size);

}  // namespace plat

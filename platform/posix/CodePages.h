// Character tables of the ANSI code pages of the POSIX build (internal).
#pragma once

#include <cstdint>

namespace plat::detail {

struct CodePageTables {
  uint32_t ansi;
  uint32_t oem;
  const unsigned char* upper;
  const unsigned char* lower;
  const unsigned char* alpha;
  const unsigned char* oemOf;
  const unsigned short* rankNoCase;  // sort rank ignoring case
  const unsigned short* rank;        // sort rank with lower before upper
};

extern const CodePageTables kCodePage1252;
extern const CodePageTables kCodePage1251;

// The tables of the user's code page, chosen once from the locale variables.
const CodePageTables& UserCodePage();

// True when the locale variables (LC_ALL, LC_MESSAGES, LANG: the first that
// is set and not empty) name a Russian locale.
bool LocaleIsRussian();
// True when they name a UTF-8 codeset.
bool LocaleIsUtf8();

}  // namespace plat::detail

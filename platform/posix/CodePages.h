// Character tables of the ANSI code pages of the POSIX build (internal).
#pragma once

#include <cstdint>
#include <initializer_list>

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

// The value of the first of the locale variables `names` that is set and not
// empty, as the C library orders them ("LC_ALL" first); "" when none is.
const char* LocaleVariable(std::initializer_list<const char*> names);

// True when the variables that choose the language (LC_ALL, LC_MESSAGES,
// LANG) name a Russian locale.
bool LocaleIsRussian();

}  // namespace plat::detail

// Character tables of the ANSI code pages of the POSIX build (internal).
#pragma once

#include <cstdint>
#include <initializer_list>

namespace plat::detail {

// How one character sorts under lstrcmpA and lstrcmpiA. Windows orders texts
// by levels: first the sequences of primary weights (the letters without
// accents or case; a character has none, one, or two when it sorts as two
// letters, as "ß" sorts as "ss"); then the diacritic weights, one per
// primary weight; then the case weights; last the word-sort entries of the
// characters without primary weights (hyphen, apostrophe, control
// characters), each made of its position, 0xFFFF less the number of primary
// weights before it, and its weight. Characters with neither (the soft
// hyphen) are ignored.
struct SortWeights {
  uint8_t units;    // primary weights: 0, 1 or 2
  uint8_t special;  // word-sort weight when units is 0; 0: ignored
  uint16_t primary[2];
  uint8_t diacritic[2];
  uint8_t caseWeight[2];  // lstrcmpA
  uint8_t caseNoCase[2];  // lstrcmpiA
};

struct CodePageTables {
  uint32_t ansi;
  uint32_t oem;
  const unsigned char* upper;
  const unsigned char* lower;
  const unsigned char* alpha;
  const unsigned char* oemOf;
  const SortWeights* sort;
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

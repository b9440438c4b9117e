// ANSI text functions on POSIX, driven by the tables of the user's code page.

#include "plat/Text.h"

#include <cstdlib>
#include <cstring>

#include "CodePages.h"

namespace plat {
namespace detail {

const char* LocaleVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return "";
}

bool LocaleIsRussian() {
  const char* v = LocaleVariable({"LC_ALL", "LC_MESSAGES", "LANG"});
  return v[0] == 'r' && v[1] == 'u';
}

const CodePageTables& UserCodePage() {
  static const CodePageTables& tables = LocaleIsRussian() ? kCodePage1251 : kCodePage1252;
  return tables;
}

}  // namespace detail

namespace {

using detail::UserCodePage;

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

// Hyphen and apostrophe are left out of the first comparison levels, as the
// Windows word sort does ("coop" < "co-op" < "cop").
bool IsWordSortIgnored(unsigned char c) { return c == '-' || c == '\''; }

int Sign(int v) { return (v > 0) - (v < 0); }

// Compares two texts by a rank table, skipping the word-sort characters.
int CompareLevel(const unsigned char* a, const unsigned char* b, const unsigned short* rank,
                 bool skipIgnored) {
  for (;;) {
    if (skipIgnored) {
      while (*a != 0 && IsWordSortIgnored(*a)) ++a;
      while (*b != 0 && IsWordSortIgnored(*b)) ++b;
    }
    if (*a == 0 || *b == 0) return Sign(int(*a != 0) - int(*b != 0));
    if (rank[*a] != rank[*b]) return Sign(int(rank[*a]) - int(rank[*b]));
    ++a;
    ++b;
  }
}

// The last level: the word-sort characters themselves. A text that has one
// where the other has none sorts after it.
int CompareIgnored(const unsigned char* a, const unsigned char* b, const unsigned short* rank) {
  for (;;) {
    while (*a != 0 && !IsWordSortIgnored(*a)) ++a;
    while (*b != 0 && !IsWordSortIgnored(*b)) ++b;
    if (*a == 0 || *b == 0) return Sign(int(*a != 0) - int(*b != 0));
    if (rank[*a] != rank[*b]) return Sign(int(rank[*a]) - int(rank[*b]));
    ++a;
    ++b;
  }
}

int Compare(const char* a, const char* b, bool ignoreCase) {
  const auto* x = reinterpret_cast<const unsigned char*>(a != nullptr ? a : "");
  const auto* y = reinterpret_cast<const unsigned char*>(b != nullptr ? b : "");
  const auto& cp = UserCodePage();
  // Level 1: letters without regard to case; level 2: case (lower first);
  // level 3: the word-sort characters left out before.
  if (int r = CompareLevel(x, y, cp.rankNoCase, true)) return r;
  if (!ignoreCase) {
    if (int r = CompareLevel(x, y, cp.rank, true)) return r;
  }
  return CompareIgnored(x, y, cp.rank);
}

}  // namespace

int TextLength(const char* text) { return text == nullptr ? 0 : int(std::strlen(text)); }

int TextCompare(const char* a, const char* b) { return Compare(a, b, false); }
int TextCompareNoCase(const char* a, const char* b) { return Compare(a, b, true); }

void TextUpper(char* text) {
  const auto& cp = UserCodePage();
  for (; *text != '\0'; ++text) *text = char(cp.upper[Byte(*text)]);
}

void TextLower(char* text) {
  const auto& cp = UserCodePage();
  for (; *text != '\0'; ++text) *text = char(cp.lower[Byte(*text)]);
}

char CharUpper(char c) { return char(UserCodePage().upper[Byte(c)]); }
char CharLower(char c) { return char(UserCodePage().lower[Byte(c)]); }
bool IsCharAlpha(char c) { return UserCodePage().alpha[Byte(c)] != 0; }

void TextToOem(const char* src, char* dst) {
  const auto& cp = UserCodePage();
  do {
    *dst++ = char(cp.oemOf[Byte(*src)]);
  } while (*src++ != '\0');
}

uint32_t AnsiCodePage() { return UserCodePage().ansi; }
uint32_t OemCodePage() { return UserCodePage().oem; }

}  // namespace plat

// ANSI text functions on POSIX, driven by the tables of the user's code page.

#include "plat/Text.h"

#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <strings.h>

#include "CodePages.h"

namespace plat {
namespace detail {
namespace {

// The locale variable that decides, as the C library orders them.
const char* LocaleValue() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return "";
}

}  // namespace

bool LocaleIsRussian() {
  const char* v = LocaleValue();
  return v[0] == 'r' && v[1] == 'u';
}

bool LocaleIsUtf8() {
  const char* dot = std::strchr(LocaleValue(), '.');
  if (dot == nullptr) return false;
  const char* cs = dot + 1;
  return (strncasecmp(cs, "utf-8", 5) == 0 || strncasecmp(cs, "utf8", 4) == 0);
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

char* TextCopyN(char* dst, const char* src, int size) {
  if (size <= 0) return dst;
  int i = 0;
  for (; i < size - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

char* TextConcat(char* dst, const char* src) {
  std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
  return dst;
}

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

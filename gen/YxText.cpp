// Text and number functions.

#include "YxText.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "YxHeap.h"
#include "plat/Text.h"

namespace yx {

void Capitalize(char* text, int mode, unsigned count) {
  if (mode != 2 && mode != 3) return;
  if (count == 0) count = unsigned(plat::TextLength(text));
  bool insideWord = false;
  for (; *text != '\0' && count != 0; ++text, --count) {
    if (plat::IsCharAlpha(*text)) {
      if (insideWord) {
        *text = plat::CharLower(*text);
      } else {
        *text = plat::CharUpper(*text);
        insideWord = true;
      }
    } else if (mode == 2) {
      insideWord = false;
    }
  }
}

int CompareChar(char a, char b, int flags) {
  const char x[2] = {a, '\0'};
  const char y[2] = {b, '\0'};
  return (flags & 1) != 0 ? plat::TextCompareNoCase(x, y) : plat::TextCompare(x, y);
}

namespace {

// Sorts the characters by the locale comparison; neighbours that compare
// equal share a class.
TCharClasses BuildCharClasses(int flags) {
  int order[256];
  for (int c = 0; c < 256; ++c) order[c] = c;
  auto compare = [flags](int a, int b) { return CompareChar(char(a), char(b), flags); };
  std::stable_sort(order, order + 256, [&](int a, int b) { return compare(a, b) < 0; });
  TCharClasses classes{};
  unsigned next = 0;
  int members[256] = {};
  for (int i = 0; i < 256; ++i) {
    if (i != 0 && compare(order[i - 1], order[i]) != 0) ++next;
    classes.of[order[i]] = static_cast<unsigned char>(next);
    ++members[next];
  }
  for (int k = 0; k < 256; ++k) classes.only[k] = -1;
  for (int c = 0; c < 256; ++c) {
    if (members[classes.of[c]] == 1) classes.only[classes.of[c]] = short(c);
  }
  return classes;
}

}  // namespace

const TCharClasses& CharClassMap(int flags) {
  if ((flags & 1) != 0) {
    static const TCharClasses noCase = BuildCharClasses(1);
    return noCase;
  }
  static const TCharClasses exact = BuildCharClasses(0);
  return exact;
}

const unsigned char* CharClasses(int flags) { return CharClassMap(flags).of; }

namespace {

// strnicmp of the C runtime in its default locale: ASCII letters fold.
int AsciiCompareNoCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]);
    int y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return Sign(x - y);
    if (x == 0) return 0;
  }
  return 0;
}

}  // namespace

int CompareText(const char* a, const char* b, int flags) {
  if (a == nullptr) return (b == nullptr || *b == '\0') ? 0 : -1;
  if (b == nullptr) return *a == '\0' ? 0 : 1;
  if ((flags & 2) != 0) {
    const std::size_t n = std::strlen(b);
    return (flags & 1) != 0 ? AsciiCompareNoCase(a, b, n) : Sign(std::strncmp(a, b, n));
  }
  return (flags & 1) != 0 ? plat::TextCompareNoCase(a, b) : plat::TextCompare(a, b);
}

int Sign(int value) { return (value > 0) - (value < 0); }

void CopySubstring(char* dest, const char* src, unsigned start, unsigned count) {
  if (count == 0) count = unsigned(std::strlen(src));
  const char* from = src + start;
  unsigned i = 0;
  for (; i < count && from[i] != '\0'; ++i) dest[i] = from[i];
  dest[i] = '\0';
}

int FindSubstring(const char* text, const char* what, unsigned start) {
  if (text[start] == '\0' || *what == '\0') return -1;
  const char* hit = std::strstr(text + start, what);
  return hit == nullptr ? -1 : int(hit - text);
}

char* HeapStrDup(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(HeapMemAlloc(unsigned(n)));
  std::memcpy(copy, text, n);
  return copy;
}

double RoundHalfAway(double value) {
  double whole = 0.0;
  const double fraction = std::modf(value, &whole);
  if (fraction >= 0.5) return whole + 1.0;
  if (fraction <= -0.5) return whole - 1.0;
  return whole;
}

}  // namespace yx

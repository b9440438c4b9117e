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

int Sign(int v) { return (v > 0) - (v < 0); }

using detail::SortWeights;

// Walks the primary weights of a text, with the character each belongs to;
// characters without primary weights are passed over.
class WeightWalk {
 public:
  WeightWalk(const unsigned char* text, const SortWeights* table) : text_(text), table_(table) { Skip(); }
  bool Done() const { return *text_ == 0; }
  const SortWeights& Char() const { return table_[*text_]; }
  unsigned Unit() const { return unit_; }
  void Next() {
    if (++unit_ == table_[*text_].units) {
      unit_ = 0;
      ++text_;
      Skip();
    }
  }

 private:
  void Skip() {
    while (*text_ != 0 && table_[*text_].units == 0) ++text_;
  }

  const unsigned char* text_;
  const SortWeights* table_;
  unsigned unit_ = 0;
};

// Compares one level over the primary weights: `weight` picks the weight of
// a character's unit. A text whose weights run out first sorts first.
template <class Weight>
int CompareLevel(const unsigned char* a, const unsigned char* b, const SortWeights* table, Weight weight) {
  WeightWalk x(a, table), y(b, table);
  for (; !x.Done() && !y.Done(); x.Next(), y.Next()) {
    const unsigned wx = weight(x.Char(), x.Unit());
    const unsigned wy = weight(y.Char(), y.Unit());
    if (wx != wy) return wx < wy ? -1 : 1;
  }
  return Sign(int(!x.Done()) - int(!y.Done()));
}

// Walks the word-sort entries of a text: (position << 8) | weight, where
// the position is 0xFFFF less the number of primary weights before it.
class SpecialWalk {
 public:
  SpecialWalk(const unsigned char* text, const SortWeights* table) : text_(text), table_(table) { Seek(); }
  bool Done() const { return *text_ == 0; }
  uint32_t Entry() const { return uint32_t(uint16_t(0xFFFF - units_)) << 8 | table_[*text_].special; }
  void Next() {
    ++text_;
    Seek();
  }

 private:
  void Seek() {
    for (; *text_ != 0; ++text_) {
      const SortWeights& w = table_[*text_];
      if (w.units == 0 && w.special != 0) return;
      units_ += w.units;
    }
  }

  const unsigned char* text_;
  const SortWeights* table_;
  uint32_t units_ = 0;
};

int CompareSpecial(const unsigned char* a, const unsigned char* b, const SortWeights* table) {
  SpecialWalk x(a, table), y(b, table);
  for (; !x.Done() && !y.Done(); x.Next(), y.Next()) {
    if (x.Entry() != y.Entry()) return x.Entry() < y.Entry() ? -1 : 1;
  }
  return Sign(int(!x.Done()) - int(!y.Done()));
}

// The order of lstrcmpA and lstrcmpiA: the levels of SortWeights in turn.
// Once the primary weights are equal both texts have as many, so the
// diacritic and case levels compare sequences of equal length.
int Compare(const char* a, const char* b, bool ignoreCase) {
  const auto* x = reinterpret_cast<const unsigned char*>(a != nullptr ? a : "");
  const auto* y = reinterpret_cast<const unsigned char*>(b != nullptr ? b : "");
  const SortWeights* table = UserCodePage().sort;
  if (int r = CompareLevel(x, y, table, [](const SortWeights& w, unsigned u) { return w.primary[u]; }))
    return r;
  if (int r = CompareLevel(x, y, table, [](const SortWeights& w, unsigned u) { return w.diacritic[u]; }))
    return r;
  if (ignoreCase) {
    if (int r = CompareLevel(x, y, table, [](const SortWeights& w, unsigned u) { return w.caseNoCase[u]; }))
      return r;
  } else {
    if (int r = CompareLevel(x, y, table, [](const SortWeights& w, unsigned u) { return w.caseWeight[u]; }))
      return r;
  }
  return CompareSpecial(x, y, table);
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

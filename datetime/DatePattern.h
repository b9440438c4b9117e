// TDatePattern: a date-time picture compiled once and formatted many times.
//
// The picture language is that of the system's date and time formatters
// (d dd ddd dddd M MM MMM MMMM y yy yyyy yyyyy g gg; h hh H HH m mm s ss t tt)
// plus "ii", the millisecond in three digits, and "i", the millisecond
// without leading zeros (a run of i's is read as pairs, then a single).
// Text between apostrophes is literal; two apostrophes stand for one.
//
// Every element is expanded once from the value: a day or month name is
// never read again as elements ("dddd" of a Friday stays "Friday").
// Numeric elements are formatted here; names, eras and time markers come
// from the system's formatters in the requested locale. The text of the
// last second formatted is kept, so values within one second cost only
// their milliseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BStr.h"
#include "plat/Clock.h"

namespace yx {

class TDateTime;

class TDatePattern : public TYxBsMem {
 public:
  explicit TDatePattern(const char* pattern);
  ~TDatePattern() override = default;

  const std::string& Source() const { return source_; }

  // Appends the text of `value` to `out`. Returns false, appending nothing,
  // for an empty value or when the system cannot format an element.
  bool Append(const TDateTime& value, uint32_t locale, BStr* out);
  // The same text, kept by the pattern until its next use; null where
  // Append would append nothing.
  const std::string* Render(const TDateTime& value, uint32_t locale);

 private:
  enum class Kind : uint8_t { kLiteral, kDate, kTime, kMilliseconds };
  struct Token {
    Kind kind;
    char letter;           // element letter (date and time elements)
    unsigned count;        // run length (elements and milliseconds)
    std::string text;      // literal text
    bool numeric = false;  // formatted here, not by the system
  };

  void Compile(const char* pattern);
  // Renders every token but the milliseconds for the second of `fields`.
  bool RenderSecond(const plat::SystemTime& fields, uint32_t locale);
  // Expands the elements the system formatter must give, with one call per
  // pass; false when the system call fails.
  bool ExpandBySystem(Kind kind, const plat::SystemTime& fields, uint32_t locale);

  std::string source_;
  std::vector<Token> tokens_;
  bool hasSystemDate_ = false;
  bool hasSystemTime_ = false;

  // Cache of the last second rendered: one text per token (empty for the
  // millisecond tokens), valid for `cachedSecond_` in `cachedLocale_`.
  std::vector<std::string> rendered_;
  int64_t cachedSecond_ = -1;
  uint32_t cachedLocale_ = 0;
  std::string text_;             // the text being appended, kept for its buffer
  std::string joined_;           // the cached second's text, "000" for each millisecond pair
  std::vector<size_t> msSlots_;  // where the millisecond digits go in it
  bool fixedWidth_ = false;      // no single "i", so `joined_` applies
};

}  // namespace yx

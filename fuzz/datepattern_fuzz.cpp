// Fuzz target of the date-time patterns: TDateTime::Format and TDatePattern.
//
// Input: a 12-byte header (missing bytes count as zero) that picks two
// date-time values, then the pattern up to the first zero byte. Bytes 0-1
// (little-endian) give the year: below 0xF000 1601 + n % 8399, from there
// on 10000 to 30827 in even steps (kept rare: a date walks the years one by
// one); bytes 2-8 month, day, hour, minute, second and millisecond (2
// bytes), each modulo its range; byte 9 how the second value differs (0: in
// the millisecond, 1: the second, 2: the day, 3: not at all), bytes 10-11
// its new field.
//
// Properties: one TDatePattern formatting the values in turn, and a fresh
// one, give what Format gives for each (the per-second cache is invisible),
// behind existing text; an empty value formats as nothing; a pattern without
// element letters or apostrophes comes back unchanged; in English, where no
// element depends on its neighbours, a pattern without apostrophes cut
// between two different characters formats as its parts one after the other.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "BStr.h"
#include "DatePattern.h"
#include "DateTime.h"
#include "FuzzCheck.h"
#include "plat/Locale.h"

namespace yx {
namespace {

using fuzz::Escaped;
using fuzz::Fail;

struct TFields {
  int year, month, day, hour, minute, second, millisecond;
};

std::string Text(const BStr& text) { return std::string(text.CStr(), text.Length()); }

class TChecker {
 public:
  TChecker(const std::string& pattern, const TFields& first, const TFields& second)
      : pattern_(pattern), fields_{first, second} {
    for (int k = 0; k < 2; ++k) {
      const TFields& f = fields_[k];
      if (values_[k].Set(int16_t(f.year), f.month, int8_t(f.day), int8_t(f.hour), int8_t(f.minute),
                         int8_t(f.second), int16_t(f.millisecond)) != 0) {
        Report("Set refused valid fields", k);
      }
    }
  }

  void Run() const {
    const std::string formatted[2] = {Format(values_[0]), Format(values_[1])};

    // One compiled pattern for both values, the first again after the second.
    TDatePattern reused(pattern_.c_str());
    for (const int k : {0, 1, 0, 1, 1}) {
      BStr out("<<");
      if (!reused.Append(values_[k], kLocaleUserDefault, &out)) Report("Append failed", k);
      if (Text(out) != "<<" + formatted[k]) Report("reused pattern", k, Text(out));
    }
    TDatePattern fresh(pattern_.c_str());
    BStr out;
    if (!fresh.Append(values_[1], kLocaleUserDefault, &out)) Report("Append failed", 1);
    if (Text(out) != formatted[1]) Report("fresh pattern", 1, Text(out));

    BStr untouched("<<");
    if (fresh.Append(TDateTime(), kLocaleUserDefault, &untouched) || Text(untouched) != "<<") {
      Report("Append of an empty value", 0, Text(untouched));
    }
    if (TDateTime().Format(pattern_.c_str(), kLocaleUserDefault).Length() != 0) {
      Report("Format of an empty value", 0);
    }

    for (int k = 0; k < 2; ++k) {
      if (pattern_.find_first_of("dMyghHmsti'") == std::string::npos && formatted[k] != pattern_) {
        Report("a pattern without elements changed", k, formatted[k]);
      }
    }

    if (plat::UserLanguageId() == plat::kLangEnglishUS && pattern_.size() >= 2 &&
        pattern_.find('\'') == std::string::npos) {
      size_t cut = pattern_.size() / 2;
      while (cut < pattern_.size() && pattern_[cut - 1] == pattern_[cut]) ++cut;
      if (cut < pattern_.size()) {
        for (int k = 0; k < 2; ++k) {
          const std::string parts =
              Format(values_[k], pattern_.substr(0, cut)) + Format(values_[k], pattern_.substr(cut));
          if (parts != formatted[k]) Report("the parts format otherwise", k, formatted[k], parts);
        }
      }
    }
  }

 private:
  std::string Format(const TDateTime& value) const { return Format(value, pattern_); }
  static std::string Format(const TDateTime& value, const std::string& pattern) {
    return Text(value.Format(pattern.c_str(), kLocaleUserDefault));
  }

  [[noreturn]] void Report(const char* what, int k, const std::string& got = "",
                           const std::string& expected = "") const {
    const TFields& f = fields_[k];
    Fail(
        "date pattern: %s\n  pattern \"%s\"\n  value %04d-%02d-%02d %02d:%02d:%02d.%03d\n  got \"%s\"\n"
        "  expected \"%s\"",
        what, Escaped(pattern_).c_str(), f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond,
        Escaped(got).c_str(), Escaped(expected).c_str());
  }

  const std::string pattern_;
  const TFields fields_[2];
  TDateTime values_[2];
};

}  // namespace
}  // namespace yx

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 12;
  uint8_t h[kHeader] = {};
  if (size > 0) std::memcpy(h, data, size < kHeader ? size : kHeader);
  const char* text = reinterpret_cast<const char*>(data) + (size < kHeader ? size : kHeader);
  const size_t textSize = size < kHeader ? 0 : size - kHeader;
  const char* zero = static_cast<const char*>(std::memchr(text, 0, textSize));
  const std::string pattern(text, zero != nullptr ? size_t(zero - text) : textSize);

  const unsigned rawYear = h[0] | unsigned(h[1]) << 8;
  yx::TFields first{};
  first.year =
      rawYear < 0xF000 ? 1601 + int(rawYear % 8399) : 10000 + int((rawYear - 0xF000) * 20827 / 0xFFF);
  first.month = 1 + h[2] % 12;
  first.day = 1 + h[3] % yx::DaysInMonth(first.year, first.month);
  first.hour = h[4] % 24;
  first.minute = h[5] % 60;
  first.second = h[6] % 60;
  first.millisecond = (h[7] | h[8] << 8) % 1000;

  yx::TFields second = first;
  const unsigned other = h[10] | unsigned(h[11]) << 8;
  switch (h[9] % 4) {
    case 0: second.millisecond = int(other % 1000); break;
    case 1: second.second = int((first.second + 1 + other % 59) % 60); break;
    case 2: second.day = 1 + int(other % unsigned(yx::DaysInMonth(first.year, first.month))); break;
    default: break;
  }

  yx::TChecker(pattern, first, second).Run();
  return 0;
}

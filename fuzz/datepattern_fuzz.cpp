// Fuzz target of the date-time patterns: TDateTime::Format and TDatePattern.
//
// Input: a 12-byte header (missing bytes count as zero) from which
// LLVMFuzzerTestOneInput reads two date-time values, years up to 30827 and
// the second value one field apart from the first; then the pattern, up to
// the first zero byte.
//
// Properties: compiled patterns (reused or fresh) agree with Format; empty
// values, patterns without elements, and patterns cut in two in English.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "BStr.h"
#include "DatePattern.h"
#include "DateTime.h"
#include "FuzzCheck.h"
#include "plat/Locale.h"

namespace yx {
namespace {

std::string Text(const BStr& text) { return std::string(text.CStr(), text.Length()); }

std::string Format(const TDateTime& value, const std::string& pattern) {
  return Text(value.Format(pattern.c_str(), kLocaleUserDefault));
}

void Check(const std::string& pattern, const TDateTime (&values)[2]) {
  auto report = [&](const char* what, int k, const std::string& got, const std::string& expected = "") {
    fuzz::Fail("date pattern: %s\n  pattern \"%s\"\n  value %s.%03d\n  got \"%s\"\n  expected \"%s\"", what,
               fuzz::Escaped(pattern).c_str(), values[k].ToText().CStr(), values[k].Millisecond(),
               fuzz::Escaped(got).c_str(), fuzz::Escaped(expected).c_str());
  };
  const std::string formatted[2] = {Format(values[0], pattern), Format(values[1], pattern)};

  // One compiled pattern for both values, the first again after the second,
  // and a fresh one.
  TDatePattern reused(pattern.c_str());
  TDatePattern fresh(pattern.c_str());
  const std::pair<TDatePattern*, int> uses[] = {{&reused, 0}, {&reused, 1}, {&reused, 0},
                                                {&reused, 1}, {&reused, 1}, {&fresh, 1}};
  for (const auto& [compiled, k] : uses) {
    BStr out("<<");
    if (!compiled->Append(values[k], kLocaleUserDefault, &out) || Text(out) != "<<" + formatted[k]) {
      report("compiled pattern", k, Text(out), formatted[k]);
    }
  }

  BStr untouched("<<");
  if (fresh.Append(TDateTime(), kLocaleUserDefault, &untouched) || Text(untouched) != "<<" ||
      TDateTime().Format(pattern.c_str(), kLocaleUserDefault).Length() != 0) {
    report("an empty value formatted", 0, Text(untouched));
  }

  for (int k = 0; k < 2; ++k) {
    if (pattern.find_first_of("dMyghHmsti'") == std::string::npos && formatted[k] != pattern) {
      report("a pattern without elements changed", k, formatted[k], pattern);
    }
  }

  if (plat::UserLanguageId() == plat::kLangEnglishUS && pattern.size() >= 2 &&
      pattern.find('\'') == std::string::npos) {
    size_t cut = pattern.size() / 2;
    while (cut < pattern.size() && pattern[cut - 1] == pattern[cut]) ++cut;
    for (int k = 0; k < 2 && cut < pattern.size(); ++k) {
      const std::string parts =
          Format(values[k], pattern.substr(0, cut)) + Format(values[k], pattern.substr(cut));
      if (parts != formatted[k]) report("the parts format otherwise", k, formatted[k], parts);
    }
  }
}

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

  const unsigned rawYear = h[0] | unsigned(h[1]) << 8, other = h[10] | unsigned(h[11]) << 8;
  const int year =
      rawYear < 0xF000 ? 1601 + int(rawYear % 8399) : 10000 + int((rawYear - 0xF000) * 20827 / 0xFFF);
  const int month = 1 + h[2] % 12, days = yx::DaysInMonth(year, month);
  const int hour = h[4] % 24, minute = h[5] % 60, second = h[6] % 60, millisecond = (h[7] | h[8] << 8) % 1000;
  yx::TDateTime values[2];
  uint32_t refused = values[0].Set(int16_t(year), month, int8_t(1 + h[3] % days), int8_t(hour),
                                   int8_t(minute), int8_t(second), int16_t(millisecond));
  values[1] = values[0];
  switch (h[9] % 4) {  // a date keeps its time and a time its date
    case 0:
      refused |= values[1].SetTime(int8_t(hour), int8_t(minute), int8_t(second), int16_t(other % 1000));
      break;
    case 1:
      refused |= values[1].SetTime(int8_t(hour), int8_t(minute), int8_t((second + 1 + other % 59) % 60),
                                   int16_t(millisecond));
      break;
    case 2: refused |= values[1].SetDate(int16_t(year), month, int8_t(1 + other % unsigned(days))); break;
    default: break;
  }
  if (refused != 0) yx::fuzz::Fail("date pattern: a valid value was refused (%04d-%02d)", year, month);
  yx::Check(pattern, values);
  return 0;
}

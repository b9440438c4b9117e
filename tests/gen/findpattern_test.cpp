// BStrBase::FindPattern against a plain reference search: every pattern of
// up to three characters of a small alphabet (against every ninth subject of
// up to three characters), seeded random longer ones, and patterns that must
// take neither exponential time nor a deep stack.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "BStr.h"
#include "support/PatternReference.h"

namespace yx {
namespace {

// Characters that make every element of the language, letters of both
// cases and bytes of either sign for the ranges.
const char kPatternChars[] = {'a', 'A', 'b', '.', '*', '\\', '[', ']', '-', '|', '\xe0', '\x01'};
const char kSubjectChars[] = {'a', 'A', 'b', '-', '*', '\xe0', '\xc0'};

std::string Nth(const char* alphabet, unsigned size, unsigned n) {
  std::string text;
  for (; n != 0; n = (n - 1) / size) text += alphabet[(n - 1) % size];
  return text;
}

void Check(const std::string& pattern, const std::string& subject) {
  const BStr s(subject.c_str());
  for (int flags : {0, int(kIgnoreCase)}) {
    const test::TPatternReference reference(subject, flags != 0);
    for (unsigned start = 0; start <= subject.size() + 2; ++start) {
      if (start == subject.size() + 2) start = kNotFound - 1;
      ASSERT_EQ(s.FindPattern(pattern.c_str(), start, flags), reference.Find(pattern, start))
          << "pattern \"" << pattern << "\" subject \"" << subject << "\" from " << start << " flags "
          << flags;
    }
  }
}

TEST(FindPatternTest, EveryShortPatternAgreesWithTheReference) {
  const unsigned patterns = 1 + 12 + 144 + 1728;  // up to three characters
  const unsigned subjects = 1 + 7 + 49 + 343;
  for (unsigned p = 0; p < patterns; ++p) {
    for (unsigned s = p % 9; s < subjects; s += 9) {
      Check(Nth(kPatternChars, sizeof kPatternChars, p), Nth(kSubjectChars, sizeof kSubjectChars, s));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(FindPatternTest, RandomPatternsAgreeWithTheReference) {
  std::mt19937 random(20261207);
  auto text = [&random](const char* alphabet, unsigned size, unsigned maxLength) {
    std::string t(random() % (maxLength + 1), ' ');
    for (char& c : t) c = alphabet[random() % size];
    return t;
  };
  for (int i = 0; i < 5000; ++i) {
    const std::string pattern = text(kPatternChars, sizeof kPatternChars, 9);
    // Subjects often made of the pattern's own characters, so that classes
    // and repetitions meet what they accept.
    const bool own = !pattern.empty() && random() % 2 == 0;
    Check(pattern, own ? text(pattern.c_str(), unsigned(pattern.size()), 10)
                       : text(kSubjectChars, sizeof kSubjectChars, 10));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// A "-" at either end of a class is the character itself, never a range to
// the "]" that closes the class: "[+-]" holds "+" and "-" but not "5",
// which lies between "+" and "]".
TEST(FindPatternTest, ADashAtEitherEndOfAClassIsItself) {
  for (const char* pattern : {"[+-]", "[-+]", "x[\x01-]", "[\xe0-]y", "[a-]", "[-]"}) {
    for (const char* subject : {"5", "A", "+", "-", "x5", "xA", "x-", "\xc0y", "5y", "-y", "]", "\x01"}) {
      Check(pattern, subject);
    }
  }
  EXPECT_EQ(BStr("5-").FindPattern("[+-]", 0, 0), 1u);
  EXPECT_EQ(BStr("A5").FindPattern("[+-]", 0, 0), kNotFound);
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// Patterns nested as deep as a settings line can make them (every inner
// ".*" search waits for the next one, 30,000 deep) and patterns whose plain
// search takes exponential time. None may overflow the stack or take long.
TEST(FindPatternTest, DeepAndPathologicalPatternsFinishQuickly) {
  const std::string as(40, 'a'), many(4000, 'a');
  // clang-format off
  const struct { std::string pattern; std::string subject; unsigned found; } cases[] = {
    {Repeat("b*.*", 30000), "AP.", 0},
    {Repeat("b*.*", 30000) + "x", "AP.x", 0},
    {Repeat("b*.*", 30000) + "x", "AP.", kNotFound},
    {Repeat("a.*", 30000) + "b", as + "b", kNotFound},  // more "a" than the subject has
    {Repeat("a.*", 20) + "b", as + "b", 0},
    {"q|A" + Repeat("P*.*", 30000) + "x", "zAPx", 1},   // the second alternative
    {Repeat("b*.*", 30000) + "[a|b]", "xa", 0},         // no alternative: "|" in the class
    {Repeat(".*a", 10) + ".*b", many, kNotFound},
    {Repeat(".*a", 10) + ".*b", many + "b", 0},
    {Repeat("a*", 11) + "b", many, kNotFound},
    {Repeat("a.*a.*c|", 200), many, kNotFound},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(BStr(c.subject.c_str()).FindPattern(c.pattern.c_str(), 0, kIgnoreCase), c.found)
        << c.pattern.substr(0, 12) << " (" << c.pattern.size() << " bytes) in " << c.subject.substr(0, 12);
  }
}

}  // namespace
}  // namespace yx

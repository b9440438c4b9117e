// BStr::FindPattern: alternatives, escapes, repetition, any-character,
// classes, and patterns that must not take exponential time.

#include <gtest/gtest.h>

#include <string>

#include "BStr.h"

namespace yx {
namespace {

unsigned Find(const char* subject, const char* pattern, int flags = 0, unsigned start = 0) {
  return BStr(subject).FindPattern(pattern, start, flags);
}

TEST(FindPatternTest, PlainAndCase) {
  EXPECT_EQ(Find("AAAB", "AAB"), 1u);
  EXPECT_EQ(Find("AP.", "ap", kIgnoreCase), 0u);
  EXPECT_EQ(Find("AP.", "ap"), kNotFound);
  EXPECT_EQ(Find("xAP.", "AP", 0, 1), 1u);
  EXPECT_EQ(Find("xAP.", "AP", 0, 2), kNotFound);
  EXPECT_EQ(Find("abc", "abc", 0, 3), kNotFound);
  EXPECT_EQ(Find("", "a"), kNotFound);
  EXPECT_EQ(Find("abc", ""), kNotFound);
}

TEST(FindPatternTest, PointNeedsACharacter) {
  EXPECT_EQ(Find("AP.", "AP.", kIgnoreCase), 0u);
  EXPECT_EQ(Find("AP", "AP.", kIgnoreCase), kNotFound);
  EXPECT_EQ(Find("APx", "AP\\.", kIgnoreCase), kNotFound);
  EXPECT_EQ(Find("AP.", "AP\\.", kIgnoreCase), 0u);
}

TEST(FindPatternTest, Alternatives) {
  EXPECT_EQ(Find("AP.", "AP|WP", kIgnoreCase), 0u);
  EXPECT_EQ(Find("WP.", "AP|WP", kIgnoreCase), 0u);
  EXPECT_EQ(Find("xxWPxAP", "AP|WP"), 2u);  // the earliest of the alternatives
  EXPECT_EQ(Find("a|b", "a|b"), 0u);        // no alternative found: "|" is itself
  EXPECT_EQ(Find("x", "|"), kNotFound);
  EXPECT_EQ(Find("AP", "AP|"), 0u);
}

TEST(FindPatternTest, Repetition) {
  EXPECT_EQ(Find("aaab", "a*b"), 0u);
  EXPECT_EQ(Find("a", "ab*"), kNotFound);  // the subject ends before b*
  EXPECT_EQ(Find("ab", "ab*"), 0u);
  EXPECT_EQ(Find("xb", "a*b"), 1u);
  EXPECT_EQ(Find("Aab", "a*b", kIgnoreCase), 1u);  // repetition compares bytes
}

TEST(FindPatternTest, AnyText) {
  EXPECT_EQ(Find("xxAP", ".*AP"), 2u);  // a leading ".*" is dropped
  EXPECT_EQ(Find("AP", ".*.*AP"), 0u);
  EXPECT_EQ(Find("AP: disk error", "AP.*error"), 0u);
  EXPECT_EQ(Find("AP: disk", "AP.*error"), kNotFound);
  EXPECT_EQ(Find("APx", "AP.*"), 0u);
  EXPECT_EQ(Find("AP", "AP.*"), kNotFound);  // nothing left for ".*" to stand on
  EXPECT_EQ(Find("abc", ".*"), kNotFound);
}

TEST(FindPatternTest, Escapes) {
  EXPECT_EQ(Find("a*b", "a\\*b"), 0u);
  EXPECT_EQ(Find("a[b", "\\["), 1u);
  EXPECT_EQ(Find("A\\", "A\\\\"), 0u);
  EXPECT_EQ(Find("ab", "a\\"), kNotFound);  // a backslash with nothing to escape
  EXPECT_EQ(Find("a", "a\\"), kNotFound);
  EXPECT_EQ(Find("AB", "a\\b", kIgnoreCase), 0u);
}

TEST(FindPatternTest, Classes) {
  EXPECT_EQ(Find("WP. code 7", "[0-9]"), 9u);
  EXPECT_EQ(Find("no digits", "[0-9]"), kNotFound);
  EXPECT_EQ(Find("xbx", "[abc]"), 1u);
  EXPECT_EQ(Find("B", "[abc]", kIgnoreCase), kNotFound);  // exact bytes
  EXPECT_EQ(Find("a-b", "[-]"), 1u);
  EXPECT_EQ(Find("z-", "[a-]"), 1u);
  EXPECT_EQ(Find("m", "[z-a]"), kNotFound);  // a reversed range adds only its ends
  EXPECT_EQ(Find("a", "[z-a]"), 0u);
  EXPECT_EQ(Find("\xe0", "[\xc0-\xff]"), 0u);      // signed order: -64 .. -1
  EXPECT_EQ(Find("a", "[\x01-\xff]"), kNotFound);  // 1 .. -1 is empty
  EXPECT_EQ(Find("abc", "[abc"), kNotFound);       // no closing bracket
  EXPECT_EQ(Find("x1", "x[0-9][0-9]"), kNotFound);
}

TEST(FindPatternTest, PathologicalPatternsFinishQuickly) {
  const std::string subject(4000, 'a');
  EXPECT_EQ(BStr(subject.c_str()).FindPattern(".*a.*a.*a.*a.*a.*a.*a.*a.*a.*a.*b", 0, 0), kNotFound);
  EXPECT_EQ(BStr(subject.c_str()).FindPattern("a*a*a*a*a*a*a*a*a*a*a*b", 0, 0), kNotFound);
  std::string alternatives;
  for (int i = 0; i < 200; ++i) alternatives += "a.*a.*c|";
  EXPECT_EQ(BStr(subject.c_str()).FindPattern(alternatives.c_str(), 0, 0), kNotFound);
  const std::string withB = subject + "b";
  EXPECT_EQ(BStr(withB.c_str()).FindPattern(".*a.*a.*a.*a.*a.*a.*a.*a.*a.*a.*b", 0, 0), 0u);
}

// Patterns nested as deep as a settings line can make them: every inner
// ".*" search waits for the next one, 30,000 deep. The search keeps its
// pending searches off the thread's stack, so none of these overflows it.
TEST(FindPatternTest, DeepPatternsNeedNoDeepStack) {
  auto repeat = [](const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
  };
  const std::string as(40, 'a');
  // clang-format off
  const struct { std::string pattern; std::string subject; unsigned found; } cases[] = {
    {repeat("b*.*", 30000), "AP.", 0},
    {repeat("b*.*", 30000) + "x", "AP.x", 0},
    {repeat("b*.*", 30000) + "x", "AP.", kNotFound},
    {repeat("a.*", 30000) + "b", as + "b", kNotFound},          // more "a" than the subject has
    {repeat("a.*", 20) + "b", as + "b", 0},
    {"q|A" + repeat("P*.*", 30000) + "x", "zAPx", 1},              // the second alternative
    {repeat("b*.*", 30000) + "[a|b]", "xa", 0},  // no alternative: the whole pattern, "|" in the class
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(BStr(c.subject.c_str()).FindPattern(c.pattern.c_str(), 0, kIgnoreCase), c.found)
        << c.pattern.substr(0, 12) << " (" << c.pattern.size() << " bytes) in " << c.subject;
  }
}

}  // namespace
}  // namespace yx

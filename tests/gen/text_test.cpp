// Text and number functions, and the code-page behaviour of the platform's
// text functions (Cyrillic in code page 1251 for a Russian user, Western
// 1252 otherwise). The same cases run on Linux and under Wine.

#include <gtest/gtest.h>

#include <string>

#include "BStr.h"
#include "plat/Locale.h"
#include "plat/Text.h"
#include "yxgen.h"

namespace yx {
namespace {

std::string Capitalized(const char* text, int mode, unsigned count) {
  std::string s(text);
  Capitalize(s.data(), mode, count);
  return s;
}

TEST(TextTest, Capitalize) {
  EXPECT_EQ(Capitalized("hello wORLD-x", 2, 0), "Hello World-X");
  EXPECT_EQ(Capitalized("hello wORLD-x", 3, 0), "Hello world-x");
  EXPECT_EQ(Capitalized("abc def", 2, 3), "Abc def");
  EXPECT_EQ(Capitalized("x1y", 2, 0), "X1Y");
  EXPECT_EQ(Capitalized("x1y", 3, 0), "X1y");
  EXPECT_EQ(Capitalized("abc", 4, 0), "abc");
}

TEST(TextTest, CompareTextNullsAndPrefixes) {
  EXPECT_EQ(CompareText(nullptr, "", 0), 0);
  EXPECT_EQ(CompareText(nullptr, nullptr, 0), 0);
  EXPECT_EQ(CompareText("", nullptr, 0), 0);
  EXPECT_EQ(CompareText("abc", nullptr, 0), 1);
  EXPECT_EQ(CompareText(nullptr, "a", 0), -1);
  EXPECT_EQ(CompareText("abcdef", "ABC", 3), 0);
  EXPECT_NE(CompareText("abcdef", "ABC", 2), 0);
  EXPECT_NE(CompareText("ab", "abc", 2), 0);
  EXPECT_EQ(CompareText("abc", "ABC", 1), 0);
  EXPECT_EQ(CompareText("abc", "abd", 0), -1);
}

TEST(TextTest, CopyAndFindSubstring) {
  char out[16];
  CopySubstring(out, "abcdef", 2, 3);
  EXPECT_STREQ(out, "cde");
  CopySubstring(out, "abcdef", 2, 0);
  EXPECT_STREQ(out, "cdef");
  CopySubstring(out, "abcdef", 6, 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(FindSubstring("aab", "ab", 0), 1);
  EXPECT_EQ(FindSubstring("abc", "c", 3), -1);
  EXPECT_EQ(FindSubstring("abcabc", "bc", 2), 4);
  EXPECT_EQ(FindSubstring("abc", "", 0), -1);
}

TEST(TextTest, HeapStrDup) {
  EXPECT_EQ(HeapStrDup(nullptr), nullptr);
  char* copy = HeapStrDup("text");
  EXPECT_STREQ(copy, "text");
  EXPECT_EQ(HeapMemSize(copy), 5u);
  EXPECT_EQ(HeapMemFree(copy), 0u);
}

TEST(TextTest, RoundHalfAwayAndSign) {
  EXPECT_EQ(RoundHalfAway(0.5), 1.0);
  EXPECT_EQ(RoundHalfAway(-0.5), -1.0);
  EXPECT_EQ(RoundHalfAway(0.49), 0.0);
  EXPECT_EQ(RoundHalfAway(2.5), 3.0);
  EXPECT_EQ(RoundHalfAway(-2.5), -3.0);
  EXPECT_EQ(RoundHalfAway(2.49), 2.0);
  EXPECT_EQ(RoundHalfAway(-2.49), -2.0);
  EXPECT_EQ(Sign(0), 0);
  EXPECT_EQ(Sign(-7), -1);
  EXPECT_EQ(Sign(123456), 1);
}

// The word-sort order of the user's locale: letters without regard to case
// first, digits before letters, lower case before upper case as the last
// resort, hyphen and apostrophe weighed last.
TEST(LocaleOrderTest, WordSortProperties) {
  EXPECT_EQ(plat::TextCompare("a", "B"), -1);
  EXPECT_EQ(plat::TextCompare("a", "A"), -1);
  EXPECT_EQ(plat::TextCompare("ab", "Aa"), 1);
  EXPECT_EQ(plat::TextCompare("aB", "Ab"), -1);
  EXPECT_EQ(plat::TextCompare("1", "a"), -1);
  EXPECT_EQ(plat::TextCompare("", "a"), -1);
  EXPECT_EQ(plat::TextCompare("ab", "abc"), -1);
  EXPECT_EQ(plat::TextCompare("co-op", "coop"), 1);
  EXPECT_EQ(plat::TextCompare("co-op", "cop"), -1);
  EXPECT_EQ(plat::TextCompare(nullptr, ""), 0);
  EXPECT_EQ(plat::TextCompare(nullptr, "a"), -1);
  EXPECT_EQ(plat::TextCompareNoCase("AB", "ab"), 0);
  EXPECT_EQ(plat::TextCompareNoCase("Ab", "aC"), -1);
  EXPECT_EQ(CompareChar('a', 'A', 1), 0);
  EXPECT_EQ(CompareChar('a', 'A', 0), -1);
}

TEST(LocaleTest, LanguageFollowsTheCodePage) {
  char buf[8] = {};
  const int needed = plat::LocaleInfo(plat::kLocaleUserDefault, plat::kLocaleILanguage, nullptr, 0);
  ASSERT_EQ(needed, 5);
  ASSERT_EQ(plat::LocaleInfo(plat::kLocaleUserDefault, plat::kLocaleILanguage, buf, needed), 5);
  if (plat::AnsiCodePage() == 1251) {
    EXPECT_STREQ(buf, "0419");
    EXPECT_EQ(plat::UserLanguageId(), plat::kLangRussian);
    EXPECT_EQ(plat::OemCodePage(), 866u);
  } else {
    EXPECT_EQ(plat::AnsiCodePage(), 1252u);
    EXPECT_STREQ(buf, "0409");
    EXPECT_EQ(plat::OemCodePage(), 437u);
  }
}

class CyrillicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (plat::AnsiCodePage() != 1251) GTEST_SKIP() << "needs a Russian user locale (code page 1251)";
  }
};

// "привет мир ёлка" and its forms, in code page 1251.
const char kLower[] = "\xef\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0 \xb8\xeb\xea\xe0";
const char kUpper[] = "\xcf\xd0\xc8\xc2\xc5\xd2 \xcc\xc8\xd0 \xa8\xcb\xca\xc0";
const char kTitle[] = "\xcf\xf0\xe8\xe2\xe5\xf2 \xcc\xe8\xf0 \xa8\xeb\xea\xe0";

TEST_F(CyrillicTest, CaseMapping) {
  BStr s(kLower);
  s.ChangeCase(0, 0, 0);
  EXPECT_STREQ(s.CStr(), kUpper);
  s.ChangeCase(1, 0, 0);
  EXPECT_STREQ(s.CStr(), kLower);
  s.ChangeCase(2, 0, 0);
  EXPECT_STREQ(s.CStr(), kTitle);
  EXPECT_TRUE(plat::IsCharAlpha('\xb8'));   // ё
  EXPECT_TRUE(plat::IsCharAlpha('\xc0'));   // А
  EXPECT_FALSE(plat::IsCharAlpha('\xb9'));  // №
  EXPECT_EQ(BStr(kLower).Compare(kUpper, kIgnoreCase), 0);
  EXPECT_EQ(BStr("\xe0\xe1\xe2").Find("\xc1", 0, kIgnoreCase), 1u);  // "абв", "Б"
}

TEST_F(CyrillicTest, OemBytesOfCodePage866) {
  // А а р я Ё ё № and a Latin letter.
  BStr s("\xc0\xe0\xf0\xff\xa8\xb8\xb9z");
  s.ToOem();
  EXPECT_STREQ(s.CStr(), "\x80\xa0\xe0\xef\xf0\xf1\xfcz");
}

TEST_F(CyrillicTest, LatinSortsBeforeCyrillic) {
  EXPECT_EQ(plat::TextCompare("z", "\xe0"), -1);
  EXPECT_EQ(plat::TextCompare("\xb8\xe0", "\xe5\xe1"), -1);  // "ёа" before "еб": letters first
  EXPECT_EQ(plat::TextCompare("\xe5", "\xb8"), -1);          // е before ё
  EXPECT_EQ(plat::TextCompare("\xb8", "\xe6"), -1);          // ё before ж
  EXPECT_EQ(plat::TextCompare("\xe0", "\xc0"), -1);          // а before А
}

class WesternTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (plat::AnsiCodePage() != 1252) GTEST_SKIP() << "needs an English user locale (code page 1252)";
  }
};

// Cases in which a simpler word sort than Windows' gives other answers.
TEST_F(WesternTest, WordSortAsWindowsGivesIt) {
  struct {
    const char* a;
    const char* b;
    int sign;
  } const cases[] = {
      // clang-format off
      {"a-", "-a", -1},             // a hyphen weighs by its place: later is less
      {"co-op", "coo-p", 1},
      {"[a-z].", "[az-].", 1},
      {"a\xad" "b", "ab", 0},        // the soft hyphen is ignored
      {"\xdf", "ss", 0},            // ß, æ, œ and þ sort as two letters
      {"\xe6", "ae", 0},
      {"\x9c", "oe", 0},
      {"\xfe", "th", 0},
      {"\xe0", "ab", -1},           // à: the letters before the accents
      {"\xe0" "a", "a\xe0", 1},     // accents weigh from the left
      {"a\x01", "a", 1},            // control characters weigh like hyphens
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plat::TextCompare(c.a, c.b), c.sign) << c.a << " against " << c.b;
    EXPECT_EQ(plat::TextCompare(c.b, c.a), -c.sign) << c.b << " against " << c.a;
  }
}

TEST_F(WesternTest, CaseMappingAndOemBytes) {
  BStr s("\xe9t\xe9 \xff");  // "été ÿ"
  s.ChangeCase(0, 0, 0);
  EXPECT_STREQ(s.CStr(), "\xc9T\xc9 \x9f");
  BStr o("\xe9\xc7\xfc");  // é Ç ü
  o.ToOem();
  EXPECT_STREQ(o.CStr(), "\x82\x80\x81");
}

}  // namespace
}  // namespace yx

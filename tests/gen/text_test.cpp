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

TEST(TextTest, CompareText) {
  // clang-format off
  const struct { const char* a; const char* b; int flags; int sign; } cases[] = {
    {nullptr, "", 0, 0}, {nullptr, nullptr, 0, 0}, {"", nullptr, 0, 0}, {"abc", nullptr, 0, 1},
    {nullptr, "a", 0, -1}, {"abcdef", "ABC", 3, 0}, {"abcdef", "ABC", 2, 1}, {"ab", "abc", 2, -1},
    {"abc", "ABC", 1, 0}, {"abc", "ABC", 0, -1}, {"abc", "abd", 0, -1}, {"b", "a", 0, 1}, {"aZ", "Az", 3, 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(CompareText(c.a, c.b, c.flags)), c.sign)
        << (c.a ? c.a : "null") << " " << (c.b ? c.b : "null") << " " << c.flags;
  }
}

TEST(TextTest, SubstringsCopiesAndNumbers) {
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
  EXPECT_EQ(HeapStrDup(nullptr), nullptr);
  char* copy = HeapStrDup("text");
  EXPECT_STREQ(copy, "text");
  EXPECT_EQ(HeapMemSize(copy), 5u);
  EXPECT_EQ(HeapMemFree(copy), 0u);
  // clang-format off
  const double rounding[][2] = {{0.5, 1}, {-0.5, -1}, {0.49, 0}, {2.5, 3}, {-2.5, -3}, {2.49, 2}, {-2.49, -2}};
  const int signs[][2] = {{0, 0}, {-7, -1}, {123456, 1}};
  // clang-format on
  for (const auto& r : rounding) EXPECT_EQ(RoundHalfAway(r[0]), r[1]) << r[0];
  for (const auto& s : signs) EXPECT_EQ(Sign(s[0]), s[1]) << s[0];
}

// The word-sort order of the user's locale: letters without regard to case
// first, digits before letters, lower case before upper case as the last
// resort, hyphen and apostrophe weighed last; Latin before Cyrillic.
TEST(LocaleOrderTest, WordSortAsWindowsGivesIt) {
  // clang-format off
  const struct { unsigned codePage; const char* a; const char* b; int sign; } cases[] = {  // 0: either
    {0, "a", "B", -1}, {0, "a", "A", -1}, {0, "ab", "Aa", 1}, {0, "aB", "Ab", -1}, {0, "1", "a", -1},
    {0, "", "a", -1}, {0, "ab", "abc", -1}, {0, "co-op", "coop", 1}, {0, "co-op", "cop", -1},
    // Cases in which a simpler word sort than Windows' gives other answers.
    {1252, "a-", "-a", -1},            // a hyphen weighs by its place: later is less
    {1252, "co-op", "coo-p", 1},
    {1252, "[a-z].", "[az-].", 1},
    {1252, "a\xad" "b", "ab", 0},      // the soft hyphen is ignored
    {1252, "\xdf", "ss", 0},           // ß, æ, œ and þ sort as two letters
    {1252, "\xe6", "ae", 0},
    {1252, "\x9c", "oe", 0},
    {1252, "\xfe", "th", 0},
    {1252, "\xe0", "ab", -1},          // à: the letters before the accents
    {1252, "\xe0" "a", "a\xe0", 1},    // accents weigh from the left
    {1252, "a\x01", "a", 1},           // control characters weigh like hyphens
    {1251, "z", "\xe0", -1},
    {1251, "\xb8\xe0", "\xe5\xe1", -1},  // "ёа" before "еб": letters first
    {1251, "\xe5", "\xb8", -1},          // е before ё
    {1251, "\xb8", "\xe6", -1},          // ё before ж
    {1251, "\xe0", "\xc0", -1},          // а before А
  };
  // clang-format on
  for (const auto& c : cases) {
    if (c.codePage != 0 && c.codePage != plat::AnsiCodePage()) continue;
    EXPECT_EQ(plat::TextCompare(c.a, c.b), c.sign) << c.a << " against " << c.b;
    EXPECT_EQ(plat::TextCompare(c.b, c.a), -c.sign) << c.b << " against " << c.a;
  }
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
  const bool russian = plat::AnsiCodePage() == 1251;
  EXPECT_EQ(plat::AnsiCodePage(), russian ? 1251u : 1252u);
  EXPECT_STREQ(buf, russian ? "0419" : "0409");
  EXPECT_EQ(plat::UserLanguageId(), russian ? plat::kLangRussian : plat::kLangEnglishUS);
  EXPECT_EQ(plat::OemCodePage(), russian ? 866u : 437u);
}

// Case mapping and OEM bytes of letters outside ASCII.
TEST(LocaleTest, CaseAndOemBytesOfTheCodePage) {
  BStr one("\xe9");  // a one-letter text is converted too: é, or й in 1251
  one.ToOem();
  EXPECT_STREQ(one.CStr(), plat::AnsiCodePage() == 1252 ? "\x82" : "\xa9");
  if (plat::AnsiCodePage() == 1252) {
    BStr s("\xe9t\xe9 \xff");  // "été ÿ"
    s.ChangeCase(0, 0, 0);
    EXPECT_STREQ(s.CStr(), "\xc9T\xc9 \x9f");
    BStr o("\xe9\xc7\xfc");  // é Ç ü
    o.ToOem();
    EXPECT_STREQ(o.CStr(), "\x82\x80\x81");
    return;
  }
  // "привет мир ёлка" and its forms, in code page 1251.
  const char kLower[] = "\xef\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0 \xb8\xeb\xea\xe0";
  const char kUpper[] = "\xcf\xd0\xc8\xc2\xc5\xd2 \xcc\xc8\xd0 \xa8\xcb\xca\xc0";
  const char kTitle[] = "\xcf\xf0\xe8\xe2\xe5\xf2 \xcc\xe8\xf0 \xa8\xeb\xea\xe0";
  BStr s(kLower);
  for (int mode = 0; mode < 3; ++mode) {  // upper, lower, title case
    s.ChangeCase(mode, 0, 0);
    EXPECT_STREQ(s.CStr(), (mode == 0 ? kUpper : mode == 1 ? kLower : kTitle)) << mode;
  }
  EXPECT_TRUE(plat::IsCharAlpha('\xb8'));   // ё
  EXPECT_TRUE(plat::IsCharAlpha('\xc0'));   // А
  EXPECT_FALSE(plat::IsCharAlpha('\xb9'));  // №
  EXPECT_EQ(BStr(kLower).Compare(kUpper, kIgnoreCase), 0);
  EXPECT_EQ(BStr("\xe0\xe1\xe2").Find("\xc1", 0, kIgnoreCase), 1u);  // "абв", "Б"
  BStr o("\xc0\xe0\xf0\xff\xa8\xb8\xb9z");  // А а р я Ё ё № and a Latin letter
  o.ToOem();
  EXPECT_STREQ(o.CStr(), "\x80\xa0\xe0\xef\xf0\xf1\xfcz");
}

}  // namespace
}  // namespace yx

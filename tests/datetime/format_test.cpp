// TDateTime::Format: the picture language with milliseconds and quoting.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DatePattern.h"
#include "DateTime.h"
#include "plat/Locale.h"

namespace yx {
namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  TDateTime t;
  EXPECT_EQ(t.Set(int16_t(y), mo, int8_t(d), int8_t(h), int8_t(mi), int8_t(s), int16_t(ms)), 0u);
  return t;
}

std::string F(const TDateTime& t, const char* pattern) {
  return t.Format(pattern, kLocaleUserDefault).CStr();
}

TEST(FormatTest, TheSystemsOwnPatterns) {
  const TDateTime t = At(2005, 3, 7, 9, 5, 3, 45);
  EXPECT_EQ(F(t, "dd.MM.yyyy HH:mm:ss.ii"), "07.03.2005 09:05:03.045");
  EXPECT_EQ(F(t, "yyyyMMdd-HHmmssii"), "20050307-090503045");
  EXPECT_EQ(F(t, "HH:mm:ss.i"), "09:05:03.45");
}

struct Case {
  const char* pattern;
  int ms;
  const char* expected;
};

class FormatTableTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatTableTest, ValueOf20051231At235907) {
  const Case& c = GetParam();
  EXPECT_EQ(F(At(2005, 12, 31, 23, 59, 7, c.ms), c.pattern), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FormatTableTest,
    ::testing::Values(Case{"dd.MM.yyyy HH:mm:ss.ii", 5, "31.12.2005 23:59:07.005"},
                      Case{"yyyyMMdd-HHmmssii", 5, "20051231-235907005"}, Case{"ss.i", 5, "07.5"},
                      Case{"ss.i", 250, "07.250"}, Case{"iii", 7, "0077"},
                      Case{"HH:mm 'at' dd.MM", 0, "23:59 at 31.12"}, Case{"HH'h'mm", 0, "23h59"},
                      Case{"ss.ii 'ii'", 45, "07.045 ii"}, Case{"'Time' ss.ii", 45, "Time 07.045"},
                      Case{"mm''ss", 0, "59'07"}, Case{"iiii", 9, "009009"}, Case{"iiiii", 9, "0090099"},
                      Case{"'it''s' HH", 0, "it's 23"}, Case{"''''", 0, "''"}, Case{"'open HH", 0, "open HH"},
                      Case{"hh:mm", 0, "11:59"}, Case{"h", 0, "11"}, Case{"H", 0, "23"},
                      Case{"d.M.yy", 0, "31.12.05"}, Case{"I", 0, "I"}, Case{"-/,;", 0, "-/,;"},
                      Case{"", 0, ""}));

TEST(FormatTest, EmptyValueGivesEmptyText) {
  TDateTime empty;
  EXPECT_EQ(F(empty, "dd.MM.yyyy"), "");
  EXPECT_EQ(F(empty, "literal"), "");
}

TEST(FormatTest, TwelveHourClockAtMidnightAndNoon) {
  EXPECT_EQ(F(At(2005, 1, 1, 0, 5, 0, 0), "h:mm"), "12:05");
  EXPECT_EQ(F(At(2005, 1, 1, 12, 5, 0, 0), "hh:mm"), "12:05");
  EXPECT_EQ(F(At(2005, 1, 1, 13, 5, 0, 0), "hh:mm"), "01:05");
}

TEST(FormatTest, NamesAreNotReadAgainAsElements) {
  if (plat::UserLanguageId() != plat::kLangEnglishUS) GTEST_SKIP() << "English names";
  const TDateTime friday = At(2005, 3, 11, 9, 5, 3, 45);  // a Friday in March
  EXPECT_EQ(F(friday, "dddd"), "Friday");
  EXPECT_EQ(F(friday, "MMMM"), "March");
  EXPECT_EQ(F(friday, "ddd, d MMM yyyy HH:mm:ss.ii"), "Fri, 11 Mar 2005 09:05:03.045");
  EXPECT_EQ(F(At(2005, 12, 31, 23, 59, 7, 0), "ddd"), "Sat");
  EXPECT_EQ(F(friday, "h tt"), "9 AM");
}

TEST(FormatTest, PatternsAreCachedPerSecond) {
  // Values within one second share the rendered second; the milliseconds
  // still change.
  TDatePattern pattern("dddd HH:mm:ss.ii");
  BStr a, b, c;
  ASSERT_TRUE(pattern.Append(At(2005, 3, 11, 9, 5, 3, 1), kLocaleUserDefault, &a));
  ASSERT_TRUE(pattern.Append(At(2005, 3, 11, 9, 5, 3, 999), kLocaleUserDefault, &b));
  ASSERT_TRUE(pattern.Append(At(2005, 3, 12, 9, 5, 3, 999), kLocaleUserDefault, &c));
  const std::string sa = a.CStr(), sb = b.CStr(), sc = c.CStr();
  EXPECT_EQ(sa.substr(sa.size() - 12), "09:05:03.001");
  EXPECT_EQ(sb.substr(sb.size() - 12), "09:05:03.999");
  EXPECT_EQ(sa.substr(0, sa.size() - 3), sb.substr(0, sb.size() - 3));
  EXPECT_NE(sb, sc);  // another day, another name
  TDateTime empty;
  BStr d("keep");
  EXPECT_FALSE(pattern.Append(empty, kLocaleUserDefault, &d));
  EXPECT_STREQ(d.CStr(), "keep");
}

// Long pictures of system elements (names, eras, markers) go to the system
// formatter in one call per pass. Whatever the system makes of a picture
// of any length, the result is the whole expansion or, when the system's
// answer does not split into the elements asked for, the empty text: never
// an exception, never a part of the elements. Threads that format and end
// at once leave nothing behind that their end must tear down.
TEST(FormatTest, LongPicturesAndShortLivedThreadsAreSafe) {
  const TDateTime friday = At(2005, 3, 11, 9, 5, 3, 45);
  for (const char* element : {"dddd", "MMMM", "tt", "gg", "ddd"}) {
    for (int repeats : {1, 20, 40, 100}) {
      std::string picture;
      for (int i = 0; i < repeats; ++i) picture += std::string(element) + " HH ";
      const std::string one = F(friday, (std::string(element) + " HH ").c_str());
      std::string whole;
      for (int i = 0; i < repeats; ++i) whole += one;
      const std::string text = F(friday, picture.c_str());
      EXPECT_TRUE(text.empty() || text == whole) << picture.size() << " characters of " << element;
    }
  }
  std::vector<std::thread> threads;
  std::vector<std::string> texts(8);
  for (size_t i = 0; i < texts.size(); ++i) {
    threads.emplace_back([&texts, i, friday] { texts[i] = F(friday, "yyyyMMdd-HHmmssii"); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& text : texts) EXPECT_EQ(text, "20050311-090503045");
}

// The numeric patterns are written without the system and carry the date
// from one day to the next. Seeded walks over values near month, year and
// leap-day ends, with steps of a millisecond, a second, a day and random
// jumps, hold every text to the fields that GetFields computes afresh and
// to the compiled pattern.
TEST(FormatTest, NumericPatternsFollowTheFieldsOnRandomWalks) {
  std::mt19937 random(20260307);
  auto pick = [&random](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const char* const kPieces[] = {"d",  "dd", "M",  "MM", "yy", "yyyy", "H", "HH", "h", "hh", "m",
                                 "mm", "s",  "ss", "i",  "ii", "iii",  ".", "-",  " ", "''", "'T'"};
  TDateTime value;
  for (int walk = 0; walk < 400; ++walk) {
    const int year = pick(0, 3) == 0 ? pick(1601, 9999) : pick(1896, 2104);
    const int month = pick(1, 12);
    const int day = pick(0, 1) == 0 ? DaysInMonth(year, month) : pick(1, DaysInMonth(year, month));
    ASSERT_EQ(value.SetDate(int16_t(year), month, int8_t(day)), 0u);
    int64_t dayNumber = int64_t(value.Value());
    int64_t ms = 86400000 - pick(1, 12000);
    for (int step = 0; step < 40; ++step) {
      const int kind = pick(0, 9);
      ms += kind < 4   ? 1000
            : kind < 6 ? 86400000
            : kind < 8 ? 1
                       : int64_t(pick(-400, 400)) * 86400000 + pick(0, 999);
      dayNumber += ms / 86400000 - (ms < 0 ? 1 : 0);
      ms = (ms % 86400000 + 86400000) % 86400000;
      if (dayNumber < 0) dayNumber = 0;
      value = TDateTime(uint32_t(dayNumber), int8_t(ms / 3600000), int8_t(ms / 60000 % 60),
                        int8_t(ms / 1000 % 60), int16_t(ms % 1000));
      plat::SystemTime f{};
      value.GetFields(&f);
      char expected[64];
      std::snprintf(expected, sizeof expected, "%02u.%02u.%04u %02u:%02u:%02u.%03u", f.wDay, f.wMonth,
                    f.wYear, f.wHour, f.wMinute, f.wSecond, f.wMilliseconds);
      ASSERT_EQ(F(value, "dd.MM.yyyy HH:mm:ss.ii"), expected);
      std::string pattern;
      for (int n = pick(1, 6); n > 0; --n) pattern += kPieces[pick(0, int(std::size(kPieces)) - 1)];
      TDatePattern compiled(pattern.c_str());
      BStr text;
      ASSERT_TRUE(compiled.Append(value, kLocaleUserDefault, &text));
      ASSERT_EQ(F(value, pattern.c_str()), text.CStr()) << pattern;
    }
  }
}

}  // namespace
}  // namespace yx

// TDateTime::Format and TDatePattern: caches, long pictures, threads and
// seeded random values.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DatePattern.h"
#include "DateTime.h"

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

// The results of the pattern language, names included, are held to
// tests/diff/datetime_table.tsv on both builds; here the caches, long
// pictures, threads and random values.

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

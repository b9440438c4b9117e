// TDateTime::Format and TDatePattern: long pictures, threads and seeded
// random values.

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

std::string F(const TDateTime& t, const char* pattern) {
  return t.Format(pattern, kLocaleUserDefault).CStr();
}

// The pattern language is held to tests/diff/datetime_table.tsv, the
// per-second cache to the date pattern fuzz target's replay.

// A long picture of system elements formats whole or as the empty text,
// never in part; threads that format and end at once leave nothing behind.
TEST(FormatTest, LongPicturesAndShortLivedThreadsAreSafe) {
  TDateTime friday;
  ASSERT_EQ(friday.Set(2005, 3, 11, 9, 5, 3, 45), 0u);
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

// Seeded walks near month, year and leap-day ends hold the numeric patterns
// to the fields GetFields computes afresh and to the compiled pattern.
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

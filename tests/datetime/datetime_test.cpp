// TDateTime: calendar rules, reading fields back (GetFields is held to the
// differential table), emptiness, comparison and the fixed text form.

#include "DateTime.h"

#include <gtest/gtest.h>

#include <array>

namespace yx {
namespace {

// year, month, day, hour, minute, second, millisecond
using Fields = std::array<int, 7>;

Fields Read(const TDateTime& t) {
  int16_t y, ms;
  int32_t mo;
  int8_t d, h, mi, s;
  t.GetDate(&y, &mo, &d);
  t.GetTime(&h, &mi, &s, &ms);
  return {y, mo, d, h, mi, s, ms};
}

TEST(DateTimeTest, CalendarRulesAndReadingBack) {
  EXPECT_TRUE(IsLeapYear(2004) && IsLeapYear(2000) && !IsLeapYear(1900) && !IsLeapYear(2005));
  EXPECT_EQ(DaysInMonth(2004, 2) * 100 + DaysInMonth(2005, 2), 2928);
  EXPECT_EQ(NextMonth(12) * 10 + NextMonth(1), 12);
  TDateTime t;
  EXPECT_EQ(t.Set(2005, 12, 31, 23, 59, 59, 999), 0u);
  EXPECT_EQ((Fields{t.Year(), t.Month(), t.Day(), t.Hour(), t.Minute(), t.Second(), t.Millisecond()}),
            (Fields{2005, 12, 31, 23, 59, 59, 999}));
  EXPECT_STREQ(t.ToText().CStr(), "2005-12-31 23:59:59");
}

// Every day of the first and the fifth century (past the start-up table)
// and of every seventh year between reads back, each one day after the
// last; 12:00 and 23:59:59.999 stay on their day.
TEST(DateTimeTest, EveryDayOfFourCenturiesRoundTrips) {
  TDateTime t;
  EXPECT_EQ(t.SetDate(1601, 1, 1), 0u);
  EXPECT_EQ(t.Value(), 0.0);
  double previous = -1;
  int count = 0, lastYear = 0;
  for (int y = 1601; y <= 9999; y += (y < 1700 || (y > 2390 && y < 2400)) ? 1 : y < 2400 ? 7 : 7599) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        ASSERT_EQ(t.SetDate(int16_t(y), m, int8_t(d)), 0u);
        ASSERT_EQ(Read(t), (Fields{y, m, d, 0, 0, 0, 0})) << y << '-' << m << '-' << d;
        if (m != 1 || d != 1 || lastYear == y - 1) {
          ASSERT_EQ(t.Value(), previous + 1) << y << '-' << m;
        }
        previous = t.Value();
        ++count;
      }
    }
    lastYear = y;
  }
  EXPECT_GT(count, 50000);
  for (int hour : {12, 23}) {
    t.SetTime(int8_t(hour), 59 * (hour / 23), 59 * (hour / 23), 999 * (hour / 23));
    EXPECT_EQ(t.Day(), 31);
  }
}

// The set operations' checks, codes and two-digit years are rows of
// tests/diff/datetime_table.tsv.

TEST(DateTimeTest, EmptyZeroAndSystemTimeValues) {
  TDateTime t;
  EXPECT_FALSE(t.IsValid());
  const TStatus s = t.Check();
  EXPECT_EQ(s.Code(), 87u);
  EXPECT_TRUE(s.IsError());
  EXPECT_EQ(Read(t), (Fields{1600, 12, 31, 0, 0, 0, 0}));
  EXPECT_STREQ(t.ToText().CStr(), "1600-12-31 00:00:00");
  TDateTime now = TDateTime::Now();
  EXPECT_FALSE(t.IsLater(now));
  EXPECT_FALSE(now.IsLater(t));
  EXPECT_FALSE(t.IsLater(t));
  TDateTime a, b;
  a.Set(2005, 1, 1, 0, 0, 0, 1);
  b.Set(2005, 1, 1, 0, 0, 0, 0);
  EXPECT_TRUE(a.IsLater(b) && !b.IsLater(a));
  b.Assign(a);
  EXPECT_FALSE(a.IsLater(b));
  EXPECT_EQ(t.SetTime(1, 2, 3, 4), 0u);  // a time alone lands on 1601-01-01
  EXPECT_EQ(Read(t), (Fields{1601, 1, 1, 1, 2, 3, 4}));
  t.Clear();
  EXPECT_EQ(t.SetDate(2001, 1, 1), 0u);  // a date alone is at midnight
  EXPECT_EQ(Read(t), (Fields{2001, 1, 1, 0, 0, 0, 0}));
  EXPECT_TRUE(kEmptyDateTime.IsEmpty());
  EXPECT_EQ(kZeroDateTime.Value(), 0.0);
  EXPECT_STREQ(kZeroDateTime.ToText().CStr(), "1601-01-01 00:00:00");
  EXPECT_TRUE(kZeroDateTime.Check().Succeeded());
  EXPECT_EQ(Read(TDateTime(10, 1, 2, 3, 4)), (Fields{1601, 1, 11, 1, 2, 3, 4}));
  EXPECT_EQ(Read(TDateTime(plat::SystemTime{2012, 2, 0, 29, 13, 14, 15, 16})),
            (Fields{2012, 2, 29, 13, 14, 15, 16}));
  EXPECT_TRUE(TDateTime(plat::SystemTime{2013, 2, 0, 29, 13, 14, 15, 16}).IsEmpty());
}

TEST(DateTimeTest, NowIsTheLocalClock) {
  plat::SystemTime before{}, after{};
  plat::LocalTime(&before);
  TDateTime now;
  EXPECT_EQ(now.SetNow(), 0u);
  plat::LocalTime(&after);
  EXPECT_FALSE(TDateTime(before).IsLater(now) || now.IsLater(TDateTime(after)));
}

TEST(DateTimeTest, MillisecondsSurviveTheDoubleForManyDays) {
  TDateTime t;
  for (int y : {1601, 1999, 2026, 2400, 9000}) {
    t.SetDate(int16_t(y), 7, 13);
    for (int ms = 0; ms < 86400000; ms += 86400000 / 997) {
      t.SetTime(int8_t(ms / 3600000), int8_t(ms / 60000 % 60), int8_t(ms / 1000 % 60), int16_t(ms % 1000));
      ASSERT_EQ(t.DayMilliseconds(), ms) << y;
    }
  }
}

TEST(DateTimeTest, MessagesHoldTheFirstApplicationCodes) {
  // The codes of the fields are held by the set rows of the differential table.
  EXPECT_EQ(DateTimeCodes().dateSeparator, 0x20000000u);
  // Ошибка в номере года.
  EXPECT_STREQ(MessageText(0x20000002u).CStr(),
               "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xed\xee\xec\xe5\xf0\xe5 \xe3\xee\xe4\xe0.");
}

}  // namespace
}  // namespace yx

// Platform services of the date-time value and the status object: the
// message catalogue, the clock and the picture formatters' current time.
// The same expectations hold on Linux and for the Windows functions under
// Wine; where the wording of a text differs between the two, the test accepts
// each system's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "plat/Clock.h"
#include "plat/DatePicture.h"
#include "plat/Error.h"
#include "plat/Locale.h"
#include "plat/Messages.h"
#include "plat/Process.h"
#include "plat/Text.h"

namespace {

bool IsRussianUser() { return plat::UserLanguageId() == plat::kLangRussian; }

// The text of a code, or "<none: error>" when the catalogue gives none.
std::string Message(uint32_t code, uint16_t langId) {
  char buf[512];
  plat::SetLastError(0);
  const uint32_t n = plat::SystemMessage(code, langId, buf, sizeof buf);
  if (n == 0) return "<none: " + std::to_string(plat::LastError()) + ">";
  EXPECT_EQ(std::strlen(buf), n);
  return std::string(buf, n);
}

bool OneOf(const std::string& text, const std::vector<std::string>& choices) {
  return std::find(choices.begin(), choices.end(), text) != choices.end();
}

// Cyrillic letters seen through code page 1252: FormatMessageA converts the
// Russian text to the user's ANSI code page.
std::string AsUserCodePage(std::string cp1251) {
  if (plat::AnsiCodePage() == 1251) return cp1251;
  for (char& c : cp1251) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return cp1251;
}

// Windows' wording, then Wine's.
const std::vector<std::string> kEnglishSuccess = {"The operation completed successfully.\r\n",
                                                  "Success.\r\n"};
const std::vector<std::string> kEnglishBadParameter = {"The parameter is incorrect.\r\n",
                                                       "Invalid parameter.\r\n"};
const std::vector<std::string> kRussianSuccess = {
    // Операция успешно завершена.
    AsUserCodePage("\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xf3\xf1\xef\xe5\xf8\xed\xee "
                   "\xe7\xe0\xe2\xe5\xf0\xf8\xe5\xed\xe0.\r\n"),
    // Выполнено успешно.
    AsUserCodePage("\xc2\xfb\xef\xee\xeb\xed\xe5\xed\xee \xf3\xf1\xef\xe5\xf8\xed\xee.\r\n")};
const std::vector<std::string> kRussianBadParameter = {
    // Параметр задан неверно.
    AsUserCodePage("\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0 \xe7\xe0\xe4\xe0\xed \xed\xe5\xe2\xe5\xf0\xed\xee.\r\n"),
    // Неверный параметр.
    AsUserCodePage("\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9 \xef\xe0\xf0\xe0\xec\xe5\xf2\xf0.\r\n")};

// Each language's texts; the user's language and the neutral one (0) give
// the user's.
TEST(SystemMessageTest, SuccessAndBadParameterInEachLanguage) {
  const uint16_t user = plat::UserLanguageId();
  for (const uint16_t lang :
       {uint16_t(plat::kLangEnglishUS), uint16_t(plat::kLangRussian), user, uint16_t(0)}) {
    const bool russian = lang == plat::kLangRussian || (lang != plat::kLangEnglishUS && IsRussianUser());
    EXPECT_TRUE(OneOf(Message(0, lang), russian ? kRussianSuccess : kEnglishSuccess)) << Message(0, lang);
    EXPECT_TRUE(OneOf(Message(87, lang), russian ? kRussianBadParameter : kEnglishBadParameter))
        << Message(87, lang);
  }
}

TEST(SystemMessageTest, BufferMustHoldTextAndZero) {
  char buf[512];
  const uint32_t n = plat::SystemMessage(5, plat::kLangEnglishUS, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  const std::string text(buf, n);
  std::memset(buf, '#', sizeof buf);
  for (uint32_t size : {n, 0u}) {
    plat::SetLastError(0);
    EXPECT_EQ(0u, plat::SystemMessage(5, plat::kLangEnglishUS, buf, size));
    EXPECT_EQ(plat::kErrorInsufficientBuffer, plat::LastError());
  }
  EXPECT_EQ(n, plat::SystemMessage(5, plat::kLangEnglishUS, buf, n + 1));
  EXPECT_EQ(text, std::string(buf));
}

// No text for an unknown code or a language the system lacks (Hindi); an
// HRESULT of a Windows code has that code's text.
TEST(SystemMessageTest, UnknownCodesAndMissingLanguagesHaveNoText) {
  EXPECT_EQ("<none: 317>", Message(0x20000009, plat::kLangEnglishUS));
  EXPECT_EQ("<none: 317>", Message(99999, plat::UserLanguageId()));
  EXPECT_EQ(Message(5, plat::kLangEnglishUS), Message(0x80070005, plat::kLangEnglishUS));
  EXPECT_TRUE(
      OneOf(Message(87, 0x0439), {"<none: " + std::to_string(plat::kErrorMuiFileNotFound) + ">",
                                  "<none: " + std::to_string(plat::kErrorResourceLangNotFound) + ">"}))
      << Message(87, 0x0439);
}

// --- Clock ---

// Day of the week (0 = Sunday) by Sakamoto's method.
int DayOfWeek(int y, int m, int d) {
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

// The local time has its fields in range and the day of the week of its
// date. The date and time pictures are held to tests/diff/datetime_table.tsv;
// only the current time, which no table can hold, is tested here.
TEST(ClockTest, LocalTimeIsSaneAndPicturesOfNoTimeShowIt) {
  plat::SystemTime now{};
  plat::LocalTime(&now);
  // clang-format off
  const struct { int value, low, high; } fields[] = {
      {now.wYear, 2020, 2200}, {now.wMonth, 1, 12}, {now.wDay, 1, 31}, {now.wHour, 0, 23},
      {now.wMinute, 0, 59}, {now.wSecond, 0, 59}, {now.wMilliseconds, 0, 999},
  };
  // clang-format on
  for (const auto& f : fields) {
    ASSERT_TRUE(f.low <= f.value && f.value <= f.high) << f.value;  // the month indexes a table below
  }
  EXPECT_EQ(DayOfWeek(now.wYear, now.wMonth, now.wDay), now.wDayOfWeek);
  char buf[16];
  ASSERT_EQ(5, plat::FormatDate(plat::kLocaleUserDefault, nullptr, "yyyy", buf, sizeof buf));
  const int year = std::stoi(buf);
  EXPECT_TRUE(year == now.wYear || year == now.wYear + 1) << buf;
}

TEST(ClockTest, SleepDoesNotReturnEarlyAndTickCountNeverGoesBack) {
  const uint32_t start = plat::TickCount();
  plat::Sleep(0);
  plat::Sleep(60);
  uint32_t previous = plat::TickCount();
  EXPECT_GE(previous - start, 40u);  // the counter may step by up to 16 ms on Windows
  // Read it, boundedly, until it has moved on by some more milliseconds.
  for (long i = 0; i < 200000000L && previous - start < 80; ++i) {
    const uint32_t now = plat::TickCount();
    ASSERT_LE(now - start, 60000u) << "the counter went back or jumped";
    ASSERT_GE(now - start, previous - start) << "the counter went back";
    previous = now;
  }
  EXPECT_GE(previous - start, 80u);
}

}  // namespace

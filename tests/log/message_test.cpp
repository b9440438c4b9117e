// The message text of a Log call against printf itself: seeded random
// formats of plain conversions (written without printf), conversions with
// flags, width or precision (left to printf), literal runs long enough to
// need the heap, null texts and zero characters.

#include "MessageText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace yx {
namespace {

// printf's text, cut at its first zero.
std::string Reference(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (n >= 0) {
    std::vector<char> buffer(size_t(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text = buffer.data();
  }
  va_end(again);
  return text;
}

std::string Message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const TMessageText text(format, args);
  va_end(args);
  return std::string(text.Chars(), text.Length());
}

// The plain formatter's text, or "<none>" when it leaves the format to printf.
std::string Plain(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char out[256];
  const int n = FormatPlainConversions(out, sizeof out, format, args);
  va_end(args);
  return n < 0 ? "<none>" : std::string(out, size_t(n));
}

// The conversions each argument of the fixed argument list may meet, plain
// ones first.
// clang-format off
const std::vector<std::vector<const char*>> kConversions = {
    {"%d", "%i", "%5d", "%-3d", "%+d", "%05d", "% i"},  // int
    {"%u", "%x", "%X", "%#x", "%08X", "%.3u"},          // unsigned
    {"%s", "%.2s", "%10s", "%-4s"},                     // text
    {"%ld", "%li", "%3ld"},                             // long
    {"%lu", "%lx", "%lX", "%-9lu"},                     // unsigned long
    {"%c", "%3c"},                                      // character
};
// clang-format on

TEST(MessageTextTest, AgreesWithPrintf) {
  std::mt19937 random(20261207);
  const char kLiteral[] = {'a', 'Z', ' ', '=', '\xe0', '\t'};
  const std::string longText(300, 'w');
  const char* texts[] = {"", "S", "mode", "\xcf\xf0\xe8\xe2\xe5\xf2", longText.c_str(), nullptr};
  int plainTaken = 0, leftToPrintf = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string format;
    auto literal = [&] {
      const unsigned kind = random() % 8;
      if (kind == 0) format += "%%";
      if (kind == 1) format += std::string(random() % 2 == 0 ? 120 : 260, 'r');  // past the inline room
      if (kind >= 2) format.append(random() % 4, kLiteral[random() % sizeof kLiteral]);
    };
    const unsigned used = random() % (kConversions.size() + 1);
    const bool plainOnly = random() % 2 == 0;
    std::string textConversion;
    for (unsigned slot = 0; slot < used; ++slot) {
      literal();
      const std::vector<const char*>& choices = kConversions[slot];
      // The first two of each list are plain ("%s", "%.2s": only the first).
      const size_t plain = slot == 2 || slot == 5 ? 1 : 2;
      const char* conversion = choices[plainOnly ? random() % plain : random() % choices.size()];
      if (slot == 2) textConversion = conversion;
      format += conversion;
    }
    literal();
    // The whole range of int, both ends included (the conversion wraps).
    const int i = static_cast<int>(random());
    const unsigned u = unsigned(random());
    const char* s = texts[random() % (sizeof texts / sizeof texts[0])];
    // Negated below LONG_MAX of either data model, so that it cannot overflow.
    const long l = random() % 2 == 0 ? long(static_cast<int>(random())) : -long(random() % 2147483647u);
    const unsigned long ul = random() % 3 == 0 ? ~0ul : static_cast<unsigned long>(random());
    const int c = random() % 5 == 0 ? 0 : int(kLiteral[random() % sizeof kLiteral]);
    // A null text meets only "%s", which the plain formatter must leave to
    // printf; with a width or precision it would be undefined.
    if (s == nullptr && textConversion != "%s") s = "";
    const std::string expected = Reference(format.c_str(), i, u, s, l, ul, c);
    ASSERT_EQ(Message(format.c_str(), i, u, s, l, ul, c), expected) << "format \"" << format << "\"";
    const std::string plain = Plain(format.c_str(), i, u, s, l, ul, c);
    if (plain == "<none>") {
      ++leftToPrintf;
    } else {
      ++plainTaken;
      ASSERT_EQ(plain, expected) << "format \"" << format << "\"";
    }
  }
  // Both ways are exercised, not only printf's.
  EXPECT_GT(plainTaken, 2000);
  EXPECT_GT(leftToPrintf, 2000);
}

TEST(MessageTextTest, NullFormatIsTheEmptyText) {
  EXPECT_EQ(Message(nullptr), "");
  EXPECT_EQ(Plain("%"), "<none>");
  EXPECT_EQ(Plain("%l%"), "<none>");
  EXPECT_EQ(Plain("%q"), "<none>");
  EXPECT_EQ(Plain("%ld %d", -2147483647L - 1, -2147483647 - 1),
            std::to_string(-2147483647L - 1) + " -2147483648");
}

}  // namespace
}  // namespace yx

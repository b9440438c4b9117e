// BStr: what the model test does not reach, the number constructor and a
// formatter that fails for a reason other than room.

#include "BStr.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace yx {
namespace {

TEST(BStrTest, Constructors) {
  // clang-format off
  const struct { unsigned value; int radix; const char* text; } cases[] = {
    {255, 1, "0xff"}, {5, 2, "101"}, {0, 2, "0"}, {0, 0, "0"}, {7, 9, ""},
    {4294967295u, 0, "4294967295"}, {0x80000000u, 2, "10000000000000000000000000000000"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_STREQ(BStr(c.value, c.radix).CStr(), c.text) << c.value << " " << c.radix;
  EXPECT_STREQ(BStr("abcdef", 3).CStr(), "abc");
  EXPECT_STREQ(BStr("abc", 10).CStr(), "abc");
}

TEST(BStrTest, AFormatterErrorGivesTheEmptyText) {
  // A wide character the C locale cannot convert makes the C library's
  // formatter fail (not for lack of room): the retries stop at once.
  const wchar_t wide[] = {0xE9, 0};
  char probe[8];
  const int reference = std::snprintf(probe, sizeof probe, "%ls", wide);
  BStr s("previous text");
  s.Format("%ls", wide);
  EXPECT_EQ(s.Length(), reference < 0 ? 0u : unsigned(reference));
  if (reference < 0) {
    EXPECT_STREQ(s.CStr(), "");
  }
}

}  // namespace
}  // namespace yx

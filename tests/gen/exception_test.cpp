// Exception report texts and the raise sites of the containers.

#include <gtest/gtest.h>

#include <string>

#include "BStr.h"
#include "yxgen.h"

namespace yx {
namespace {

TEST(ExceptionTest, ReportTexts) {
  EXPECT_STREQ(EInvalidArgument("yxgen", 634, "cnt==0").What(),
               "[EInvalidArgument(cnt==0)] 'yxgen' line 634 ");
  EXPECT_STREQ(EOutOfRange("Src/Lib/BStr", 60, 5, 3).What(),
               "[EOutOfRange(idx=5,cnt=3)] 'Src/Lib/BStr' line 60 ");
  EXPECT_STREQ(EOutOfRange("yxgen", 641, unsigned(-1), 0).What(),
               "[EOutOfRange(idx=4294967295,cnt=0)] 'yxgen' line 641 ");
  EXPECT_STREQ(EBadAlloc("yxgen", 1053, 65).What(), "[EBadAlloc(sz=65)] 'yxgen' line 1053 ");
  EXPECT_STREQ(EException("f", 1, "t").What(), "[t] 'f' line 1 ");
}

TEST(ExceptionTest, LongReportIsComplete) {
  const std::string text(200, 'x');
  EException e("some/long/source/name", 4000000000u, text.c_str());
  EXPECT_EQ(std::string(e.What()), "[" + text + "] 'some/long/source/name' line 4000000000 ");
}

TEST(ExceptionTest, CopyOwnsItsOwnText) {
  EOutOfRange a("yxgen", 1099, 1, 2);
  EOutOfRange b(a);
  EXPECT_NE(a.What(), b.What());
  EXPECT_STREQ(a.What(), b.What());
}

TEST(ExceptionTest, EveryExceptionIsAnEExceptionAndATYxBsMem) {
  int caught = 0;
  try {
    throw EBadAlloc("yxgen", 1053, 1);
  } catch (const EException&) {
    ++caught;
  }
  try {
    throw EInvalidArgument("yxgen", 963, "item==NULL");
  } catch (const TYxBsMem&) {
    ++caught;
  }
  try {
    throw EOutOfRange("yxgen", 641, 0, 0);
  } catch (const EException& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=0,cnt=0)] 'yxgen' line 641 ");
    ++caught;
  }
  EXPECT_EQ(caught, 3);
}

}  // namespace
}  // namespace yx

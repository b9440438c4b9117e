// Exception report texts and TArray's raise sites (the other raise sites are
// held to the model tests, copies to the heap block's copy test).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>

#include "yxgen.h"

namespace yx {
namespace {

static_assert(std::is_base_of_v<TYxBsMem, EException> && std::is_base_of_v<EException, EInvalidArgument> &&
              std::is_base_of_v<EException, EOutOfRange> && std::is_base_of_v<EException, EBadAlloc>);

TEST(ExceptionTest, ReportTexts) {
  TArray<int> a;
  const std::string longText(200, 'x');
  // clang-format off
  const struct { std::function<void()> raise; std::string report; } cases[] = {
    {[] { throw EException("f", 1, "t"); }, "[t] 'f' line 1 "},
    {[&] { throw EException("some/long/source/name", 4000000000u, longText.c_str()); },
     "[" + longText + "] 'some/long/source/name' line 4000000000 "},
    {[&] { a.At(0); }, "[EOutOfRange(idx=0,cnt=0)] 'yxgen' line 641 "},
    {[&] { a.Resize(15)[14] = 7; EXPECT_EQ(a.At(14), 7); a.At(15); }, "[EOutOfRange(idx=15,cnt=15)] 'yxgen' line 641 "},
    {[&] { a.Resize(0); }, "[EInvalidArgument(cnt==0)] 'yxgen' line 634 "},
  };
  // clang-format on
  for (const auto& c : cases) {
    try {
      c.raise();
      ADD_FAILURE() << "nothing raised for " << c.report;
    } catch (const EException& e) {
      EXPECT_EQ(e.What(), c.report);
      // The report's block grows in whole 32-byte steps until it holds the zero.
      EXPECT_EQ(HeapMemSize(e.What()), (c.report.size() / 32 + 1) * 32) << c.report;
    }
  }
  EXPECT_EQ(a.Count(), 0u);  // a failed Resize leaves the array empty
}

}  // namespace
}  // namespace yx

// TStatus and the message texts. Nothing in this program registers a
// message before the registration test, so its first text gets the first
// application code.

#include "Status.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace yx {
namespace {

// The status word: severity in the top two bits, replacing those of the code.
TEST(StatusTest, WordCodeAndSeverity) {
  auto set = [](uint32_t code, uint32_t severity) {
    TStatus s(0xC0000005u, "ctx", kSeverityWarning);
    s.SetCode(code);  // an error for any code but 0
    if (severity <= 7) s.SetSeverity(severity);
    return s;
  };
  // clang-format off
  const struct { TStatus status; uint32_t word, code, severity; } cases[] = {
    {TStatus(), 0, 0, 0},
    {TStatus(0xC0000005u, "ctx", kSeverityWarning), 0x80000005u, 5, 2},  // only severity 3 fails
    {set(87, 99), 0xC0000057u, 87, 3},
    {set(5, 1), 0x40000005u, 5, 1},
    {set(5, 7), 5, 5, 0},
    {set(0, 99), 0, 0, 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(c.status.Word(), c.word);
    EXPECT_EQ(c.status.Code(), c.code) << std::hex << c.word;
    EXPECT_EQ(c.status.Severity(), c.severity) << std::hex << c.word;
    EXPECT_EQ(c.status.IsError(), c.severity == 3) << std::hex << c.word;
    EXPECT_EQ(c.status.Succeeded(), c.severity != 3) << std::hex << c.word;
  }
  // The message was looked up for the code as given, before the bits were
  // replaced: 0xC0000005 has no text.
  EXPECT_STREQ(cases[1].status.Message().CStr(), MessageText(0xC0000005u).CStr());
  EXPECT_NE(cases[2].status.Message().Length(), 0u);
  EXPECT_STREQ(cases[2].status.Text(kStatusCode).CStr(), "[0xc0000057 (87)]");
  // The success text is the system's own, one line without its line break.
  const std::string success = TStatus().Message().CStr();
  EXPECT_EQ(success, MessageText(0).CStr());
  EXPECT_FALSE(success.empty());
  EXPECT_EQ(success.find_first_of("\r\n"), std::string::npos);
}

TEST(StatusTest, TextFlagsAndSeparators) {
  TStatus s;
  EXPECT_STREQ(s.Text(3).CStr(), s.Message().CStr());  // no leading blank
  EXPECT_STREQ(s.Text(0).CStr(), "");
  EXPECT_STREQ(s.Text(0x100 | 1).CStr(), "");           // only the low bits count
  TStatus app(0x2000FFFFu, "context", kSeverityError);  // a code nobody registered
  EXPECT_STREQ(app.Message().CStr(), "");
  EXPECT_STREQ(app.Text(3).CStr(), "context ");
  EXPECT_STREQ(app.Text(7).CStr(), "context  [0xe000ffff (536936447)]");
  TStatus ok(0, "done", kSeverityError);
  EXPECT_EQ(std::string(ok.Text(5).CStr()), "done [0000000000 (0)]");
  EXPECT_EQ(std::string(ok.Text(7).CStr()), std::string("done ") + ok.Message().CStr() + " [0000000000 (0)]");
  TStatus copy;
  copy = TStatus(ok);  // copies carry everything
  EXPECT_EQ(std::string(copy.Text(7).CStr()), ok.Text(7).CStr());
  EXPECT_EQ(copy.Word(), ok.Word());
}

TEST(MessageTableTest, RegistrationIsDenseAndIdempotent) {
  const uint32_t first = RegisterMessage("first test text");
  const uint32_t second = RegisterMessage("second test text");
  EXPECT_EQ(first, kApplicationCodeBit);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(RegisterMessage("first test text"), first);
  EXPECT_NE(RegisterMessage("FIRST test text"), first);  // case counts
  EXPECT_STREQ(MessageText(second).CStr(), "second test text");
  TStatus s(second, "", kSeverityError);
  EXPECT_STREQ(s.Text(2).CStr(), "second test text");
  EXPECT_EQ(s.Code(), second);
}

}  // namespace
}  // namespace yx

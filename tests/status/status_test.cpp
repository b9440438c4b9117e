// TStatus and the message texts. Nothing in this program registers a
// message before the registration test, so its first text gets the first
// application code.

#include "Status.h"

#include <gtest/gtest.h>

#include <string>

namespace yx {
namespace {

bool EndsWithLineBreak(const BStr& s) {
  return s.Length() != 0 && (s.CStr()[s.Length() - 1] == '\n' || s.CStr()[s.Length() - 1] == '\r');
}

TEST(StatusTest, DefaultIsSuccessWithTheSystemText) {
  TStatus s;
  EXPECT_EQ(s.Code(), 0u);
  EXPECT_EQ(s.Word(), 0u);
  EXPECT_EQ(s.Severity(), 0u);
  EXPECT_TRUE(s.Succeeded());
  EXPECT_FALSE(s.IsError());
  EXPECT_NE(s.Message().Length(), 0u);
  EXPECT_FALSE(EndsWithLineBreak(s.Message()));
  EXPECT_STREQ(s.Message().CStr(), MessageText(0).CStr());
  // The wording is the system's own; it is one line of text.
  EXPECT_EQ(std::string(s.Message().CStr()).find_first_of("\r\n"), std::string::npos);
}

TEST(StatusTest, SetCodeMarksErrors) {
  TStatus s;
  s.SetCode(87);
  EXPECT_EQ(s.Word(), 0xC0000057u);
  EXPECT_EQ(s.Code(), 87u);
  EXPECT_TRUE(s.IsError());
  EXPECT_FALSE(s.Succeeded());
  EXPECT_STREQ(s.Text(kStatusCode).CStr(), "[0xc0000057 (87)]");
  EXPECT_NE(s.Message().Length(), 0u);
  s.SetCode(0);
  EXPECT_EQ(s.Severity(), 0u);
  EXPECT_TRUE(s.Succeeded());
}

TEST(StatusTest, SeverityBitsOfTheCodeAreReplaced) {
  TStatus s(0xC0000005u, "ctx", kSeverityWarning);
  EXPECT_EQ(s.Word(), 0x80000005u);
  EXPECT_EQ(s.Code(), 5u);
  EXPECT_EQ(s.Severity(), 2u);
  EXPECT_TRUE(s.Succeeded());  // only severity 3 fails
  s.SetSeverity(1);
  EXPECT_EQ(s.Word(), 0x40000005u);
  s.SetSeverity(7);
  EXPECT_EQ(s.Word(), 5u);
  // The message was looked up for the code as given, before the bits were
  // replaced: 0xC0000005 has no text.
  EXPECT_STREQ(s.Message().CStr(), MessageText(0xC0000005u).CStr());
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
}

TEST(StatusTest, CopiesCarryEverything) {
  TStatus a(5, "ctx", kSeverityError);
  TStatus b(a);
  TStatus c;
  c = a;
  for (const TStatus* s : {&b, &c}) {
    EXPECT_EQ(s->Word(), a.Word());
    EXPECT_STREQ(s->Context().CStr(), "ctx");
    EXPECT_STREQ(s->Message().CStr(), a.Message().CStr());
  }
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

// BStr: capacity rule, construction, editing, comparison, search and the
// safety of operations whose source is the string itself.

#include "BStr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace yx {
namespace {

std::string Report(const EException& e) { return e.What(); }

TEST(BStrTest, NumberConstructor) {
  EXPECT_STREQ(BStr(255, 1).CStr(), "0xff");
  EXPECT_STREQ(BStr(5, 2).CStr(), "101");
  EXPECT_STREQ(BStr(0, 2).CStr(), "0");
  EXPECT_STREQ(BStr(0, 0).CStr(), "0");
  EXPECT_STREQ(BStr(7, 9).CStr(), "");
  EXPECT_STREQ(BStr(unsigned(-1), 0).CStr(), "4294967295");
  EXPECT_STREQ(BStr(0x80000000u, 2).CStr(), "10000000000000000000000000000000");
}

TEST(BStrTest, CopiesOwnTheirCharacters) {
  BStr a("text");
  BStr b(a);
  EXPECT_NE(a.CStr(), b.CStr());
  b.Append("!");
  EXPECT_STREQ(a.CStr(), "text");
  EXPECT_STREQ(b.CStr(), "text!");
  BStr moved(std::move(b));
  EXPECT_STREQ(moved.CStr(), "text!");
  EXPECT_STREQ(b.CStr(), "");  // NOLINT: a moved-from string is empty and usable
  b.Append("again");
  EXPECT_STREQ(b.CStr(), "again");
}

TEST(BStrTest, DeleteRangeTestDoesNotOverflow) {
  BStr s("abcdef");
  EXPECT_THROW(s.Delete(2, 0xFFFFFFFFu), EOutOfRange);
  EXPECT_THROW(s.Delete(0xFFFFFFF0u, 0x20), EOutOfRange);
  EXPECT_STREQ(s.CStr(), "abcdef");
}

TEST(BStrTest, TrimsRemoveSpacesAndTabsOnly) {
  BStr s("  a b\t ");
  s.Trim();
  EXPECT_STREQ(s.CStr(), "a b");
  s = " \t \t";
  s.Trim();
  EXPECT_STREQ(s.CStr(), "");
  s = " \t \t";
  s.TrimRight();
  EXPECT_STREQ(s.CStr(), "");
  s = "\r\nx\r\n";
  s.Trim();
  EXPECT_STREQ(s.CStr(), "\r\nx\r\n");
  s = "";
  s.TrimRight();
  s.TrimLeft();
  EXPECT_STREQ(s.CStr(), "");
}

TEST(BStrTest, AppendingAnEmptyStringChangesNothing) {
  BStr s;
  s = "  a";  // no auto-trim yet
  s.SetFlags(kTrimLeft);
  s.Append(BStr());
  EXPECT_STREQ(s.CStr(), "  a");  // Append of an empty BStr skips the auto-trim
  s.Append("");
  EXPECT_STREQ(s.CStr(), "a");
}

TEST(BStrTest, Unquote) {
  BStr s("\"a\"");
  s.Unquote();
  EXPECT_STREQ(s.CStr(), "a");
  s = "\"a\"b\"";
  s.Unquote();
  EXPECT_STREQ(s.CStr(), "a\"b");
  s = "\"ab";
  s.Unquote();
  EXPECT_STREQ(s.CStr(), "\"ab");
  s = "\"";  // a single quote is not a pair
  s.Unquote();
  EXPECT_STREQ(s.CStr(), "\"");
  s = "\"\"";
  s.Unquote();
  EXPECT_STREQ(s.CStr(), "");
}

TEST(BStrTest, ChangeCase) {
  BStr s("hello wORLD-x");
  s.ChangeCase(2, 0, 0);
  EXPECT_STREQ(s.CStr(), "Hello World-X");
  s = "hello wORLD-x";
  s.ChangeCase(3, 0, 0);
  EXPECT_STREQ(s.CStr(), "Hello world-x");
  s = "abc def";
  s.ChangeCase(2, 4, 0);
  EXPECT_STREQ(s.CStr(), "abc Def");
  s = "MiXed";
  s.ChangeCase(0, 0, 0);
  EXPECT_STREQ(s.CStr(), "MIXED");
  s.ChangeCase(1, 0, 0);
  EXPECT_STREQ(s.CStr(), "mixed");
  s.ChangeCase(7, 0, 0);
  EXPECT_STREQ(s.CStr(), "mixed");
  s.ChangeCase(2, 99, 0);  // a position past the end changes nothing
  EXPECT_STREQ(s.CStr(), "mixed");
}

TEST(BStrTest, InsertAndItsRangeCheck) {
  BStr s("abef");
  s.Insert("cd", 2, 0);
  EXPECT_STREQ(s.CStr(), "abcdef");
  s.Insert("xyz", 6, 1);
  EXPECT_STREQ(s.CStr(), "abcdefx");
  s.Insert("", 0, 0);
  EXPECT_STREQ(s.CStr(), "abcdefx");
  try {
    s.Insert("q", 8, 0);
    FAIL() << "no raise";
  } catch (const EOutOfRange& e) {
    EXPECT_EQ(Report(e), "[EOutOfRange(idx=8,cnt=7)] 'Src/Lib/BStr' line 60 ");
  }
  EXPECT_STREQ(s.CStr(), "abcdefx");
}

TEST(BStrTest, OperationsWhoseSourceIsTheStringItself) {
  BStr s("abc");
  s += s;
  EXPECT_STREQ(s.CStr(), "abcabc");
  BStr t(std::string(31, 'q').c_str());  // capacity 32: the append must grow
  t += t.CStr();
  EXPECT_EQ(t.Length(), 62u);
  EXPECT_EQ(std::string(t.CStr()), std::string(62, 'q'));
  BStr u(std::string(40, 'z').c_str());
  u.Insert(u.CStr(), 1, 0);
  EXPECT_EQ(std::string(u.CStr()), std::string(80, 'z'));
  BStr v("0123456789");
  v.Insert(v.CStr() + 5, 2, 3);
  EXPECT_STREQ(v.CStr(), "0156723456789");
  BStr w("[abc]");
  w.Format("%s-%s", w.CStr(), w.CStr());
  EXPECT_STREQ(w.CStr(), "[abc]-[abc]");
  BStr x("banana");
  x.Replace(x.CStr() + 1, "x", 0, 0);  // what = "anana"
  EXPECT_STREQ(x.CStr(), "bx");
  BStr y("abcdef");
  y = y.CStr() + 2;
  EXPECT_STREQ(y.CStr(), "cdef");
}

TEST(BStrTest, FormatGrowsByRetryRule) {
  BStr s;
  s.Format("%d-%s", 42, "x");
  EXPECT_STREQ(s.CStr(), "42-x");
  EXPECT_EQ(s.Capacity(), 32u);
  s.Format("%s", std::string(40, 'a').c_str());  // 32 -> 96: one retry adds 64
  EXPECT_EQ(s.Length(), 40u);
  EXPECT_EQ(s.Capacity(), 96u);
  s.Format("%s", std::string(31, 'b').c_str());
  EXPECT_EQ(s.Capacity(), 96u);
  BStr t;
  t.Format("%s", std::string(32, 'c').c_str());  // 32 bytes do not hold 32 + zero
  EXPECT_EQ(t.Capacity(), 96u);
  t.Format("%.3f|%u|%c", 1.5, 7u, 'z');
  EXPECT_STREQ(t.CStr(), "1.500|7|z");
}

TEST(BStrTest, AFormatterErrorGivesTheEmptyText) {
  // A wide character the C locale cannot convert makes the C library's
  // formatter fail (not for lack of room): the retries stop at once.
  const wchar_t wide[] = {0xE9, 0};
  char probe[8];
  const int reference = std::snprintf(probe, sizeof probe, "%ls", wide);
  BStr s("previous text");
  s.Format("%ls", wide);
  if (reference < 0) {
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_EQ(s.Length(), 0u);
  } else {
    EXPECT_EQ(s.Length(), unsigned(reference));  // this C library converts it
  }
}

TEST(BStrTest, FormatThroughTheBaseSlot) {
  BStr s;
  BStrBase& base = s;
  base.Format("%s=%i", "n", -3);
  EXPECT_STREQ(s.CStr(), "n=-3");
}

TEST(BStrTest, CompareFlags) {
  BStr s("abcdef");
  EXPECT_EQ(s.Compare("abc", 2), 0);
  EXPECT_EQ(s.Compare("ABC", 3), 0);
  EXPECT_NE(s.Compare("ABC", 2), 0);
  EXPECT_NE(BStr("abc").Compare("ABC", 0), 0);
  EXPECT_EQ(BStr("abc").Compare("ABC", 1), 0);
  EXPECT_EQ(BStr("ab").Compare("abc", 2), -1);
  EXPECT_EQ(BStr("abc").Compare(BStr("abd"), 0), -1);
  EXPECT_EQ(BStr("b").Compare("a", 0), 1);
  EXPECT_TRUE(BStr("SD") == "SD");
  EXPECT_FALSE(BStr("SD ") == "SD");
}

TEST(BStrTest, Find) {
  BStr s("abcdef");
  EXPECT_EQ(s.Find("", 3, 0), 3u);
  EXPECT_EQ(s.Find("ef", 5, 0), kNotFound);
  EXPECT_EQ(s.Find("ef", 4, 0), 4u);
  EXPECT_EQ(s.Find("CD", 0, 0), kNotFound);
  EXPECT_EQ(s.Find("CD", 0, kIgnoreCase), 2u);
  EXPECT_EQ(s.Find("abcdefg", 0, 0), kNotFound);
  EXPECT_EQ(s.Find("a", 7, 0), kNotFound);
  EXPECT_EQ(BStr("aab").Find("ab", 0, 0), 1u);
}

// Replacing on an auto-trimmed string trims once, the finished text.
TEST(BStrTest, ReplaceOnAnAutoTrimmedString) {
  BStr s;
  s.SetFlags(kTrimRight);
  s = "a b";
  EXPECT_EQ(s.Replace("b", "c", 0, 0), 1u);
  EXPECT_STREQ(s.CStr(), "a c");
  s.SetFlags(kTrimLeft | kTrimRight);
  s = "key = value";
  EXPECT_EQ(s.Replace("value", "v2", 0, kReplaceAll), 1u);
  EXPECT_STREQ(s.CStr(), "key = v2");
}

TEST(BStrTest, Concatenation) {
  BStr a("ab");
  BStr c = a + "cd" + "ef";
  EXPECT_STREQ(c.CStr(), "abcdef");
  EXPECT_STREQ(a.CStr(), "ab");
}

}  // namespace
}  // namespace yx

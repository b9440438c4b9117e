// The console layer: OEM-to-UTF-8 conversion of the code pages 437 and 866,
// and what reaches standard output. On Windows the conversion is the
// system's own, so the same expectations check the POSIX tables against it.

#include "plat/Console.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "plat/Error.h"
#include "plat/Text.h"
#include "support/StdoutCapture.h"

namespace {

std::string Convert(const std::string& bytes, uint32_t codePage) {
  std::string out;
  EXPECT_TRUE(plat::OemToUtf8(bytes.data(), bytes.size(), codePage, &out));
  return out;
}

// ASCII passes unchanged; every byte of the upper half maps to its character.
TEST(ConsoleTest, OemCodePagesMapEveryByte) {
  std::string bytes;
  for (int b = 0; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  const std::string ascii = bytes.substr(0, 0x80);
  EXPECT_EQ(Convert(bytes, 866),
            ascii + u8"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ" + u8"абвгдежзийклмноп░▒▓│┤╡╢╖╕╣║╗╝╜╛┐" +
                u8"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀" + u8"рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00A0");
  EXPECT_EQ(Convert(bytes, 437),
            ascii + u8"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒ" + u8"áíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐" +
                u8"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀" + u8"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0");
}

TEST(ConsoleTest, EmptyTextConvertsOtherCodePagesFail) {
  std::string out = "old";
  EXPECT_TRUE(plat::OemToUtf8("", 0, 866, &out));
  EXPECT_EQ(out, "");
  out = "old";
  plat::SetLastError(0);
  EXPECT_FALSE(plat::OemToUtf8("\x80", 1, 1251, &out));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidParameter);
  EXPECT_EQ(out, "old");
}

// The code page standard output receives, as the test's environment sets it
// up (YX_EXPECT_CONSOLE_CP, given by the build for each run).
TEST(ConsoleTest, OutputCodePageFollowsTheLocale) {
  const uint32_t codePage = plat::ConsoleOutputCodePage();
  EXPECT_TRUE(codePage == plat::kCodePageUtf8 || codePage == plat::OemCodePage() || codePage == 0)
      << codePage;
  const char* expected = std::getenv("YX_EXPECT_CONSOLE_CP");
  if (expected != nullptr && *expected != '\0') {
    EXPECT_EQ(codePage, static_cast<uint32_t>(std::strtoul(expected, nullptr, 10)));
  }
}

// ASCII passes unchanged; OEM bytes reach standard output in its code page.
TEST(ConsoleTest, WritesTextInTheOutputCodePage) {
  const std::string oem = "\x8F\xE0\xA8\xA2\xA5\xE2 \x80\xE1 ok";
  const uint32_t codePage = plat::ConsoleOutputCodePage();
  std::string expected = codePage == plat::kCodePageUtf8 ? Convert(oem, plat::OemCodePage()) : oem;
  // Another codeset: the runs that expect it name CP1251.
  if (codePage == 0) expected = "\xCF\xF0\xE8\xE2\xE5\xF2 \xC0\xF1 ok";  // "Привет Ас ok"
  bool written = false;
  bool flushed = false;
  const std::string output = yx::test::CapturedStdout([&] {
    written = plat::WriteConsoleBytes("abc", 3) && plat::WriteConsoleBytes("", 0) &&
              plat::WriteConsoleBytes("d e|", 4) && plat::WriteConsoleBytes(oem.data(), oem.size());
    flushed = plat::FlushConsole();
  });
  EXPECT_TRUE(written);
  EXPECT_TRUE(flushed);
  EXPECT_EQ(output, "abcd e|" + expected);
}

}  // namespace

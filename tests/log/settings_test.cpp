// The settings file: random files against the reference reading, real
// files of any size and shape, and large files.

#include "Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "Log.h"
#include "SettingsCheck.h"
#include "plat/File.h"
#include "plat/Text.h"
#include "support/TempDir.h"

namespace yx {
namespace {

std::string Events(const TLogParams& p) {
  std::string s;
  for (unsigned i = 0; i < p.Events().Count(); ++i) {
    s += std::string(p.Events().At(i)->categoryPattern.CStr()) + "=" +
         p.Events().At(i)->messagePattern.CStr() + ";";
  }
  return s;
}

// A random settings file made of the pieces the syntax is sensitive to:
// headers, keys, values and line-format lines in odd spellings, every kind of
// line end, a byte-order mark and a zero byte.
std::string RandomSettings(std::mt19937& random) {
  // clang-format off
  static const char* const kNames[] = {"Prms", "prms", "PRMS", "Evts", "evts", "x", ""};
  static const char* const kPads[] = {"", "", " ", "\t", " \t "};
  static const char* const kKeys[] = {"TmFrmt", "PID", "TID", "StrtMd", "FlshSec", "FlshLns", "PrmsRd",
                                      "AP", "ap", "WP", "AP.", "AP\\.", "AP|WP", "T", ";note"};
  static const char* const kValues[] = {"On", "on", "Off", "1", "", "APPEND", "ovrwrt", "New", "CREATE", "5", "-5",
                                        " 12x", "abc", "99999999999", "-99999999999", "0", "HH'='mm", "HH:mm",
                                        "err", "Error", "[0-9]", "a=b", "\xC0\xE0"};
  static const char* const kLineFormat[] = {"+AP.", " + W P ", "!imm", "!IMMEDIATE", "!IM", "#x", "+ABCDEF", "+ap"};
  static const char* const kEnds[] = {"\r\n", "\n", "\r", "\n\n\r\r\n"};
  // clang-format on
  auto pick = [&](const auto& table) { return table[random() % std::size(table)]; };
  std::string text = random() % 10 == 0 ? "\xEF\xBB\xBF" : "";
  const bool lineFormat = random() % 5 == 0;
  for (unsigned n = random() % 14; n != 0; --n) {
    const unsigned kind = random() % 8;
    if (lineFormat || kind == 0) {
      text += pick(kLineFormat);
    } else if (kind == 1) {
      text +=
          std::string("[") + pick(kPads) + pick(kNames) + pick(kPads) + "]" + (random() % 8 == 0 ? " " : "");
    } else {
      std::string key = pick(kKeys);
      for (char& c : key) {
        if (random() % 4 == 0 && std::isalpha(static_cast<unsigned char>(c))) c = char(c ^ 0x20);
      }
      text += key + (random() % 6 == 0 ? " = " : random() % 8 == 0 ? "" : "=") + pick(kValues);
    }
    text += random() % 25 == 0 ? std::string(1, '\0') : pick(kEnds);
  }
  return text;
}

TEST(SettingsModelTest, RandomFilesAgreeWithTheReference) {
  std::mt19937 random(20261207);
  for (int i = 0; i < 3000; ++i) {
    const std::string text = RandomSettings(random);
    ASSERT_EQ(settings_check::TChecker(text.data(), text.size()).Run(), "") << "file " << i;
  }
}

// What a read of the settings file does with files of any size and shape,
// starting each time from parameters that an earlier good read set.
TEST(SettingsReadTest, FilesOfAnySizeAndShape) {
  enum TShape { kFile, kDirectory, kMissing, kHeld };  // kHeld: by another writer
  test::ScopedTempDir dir;
  TLog log(1);
  log.SetFileNames(dir.File("prog.exe").c_str());
  const std::string settings = dir.File("prog.wli");
  const std::string bom = "\xEF\xBB\xBF";
  std::string huge = "!IMM\n+AP\n";  // line format, beyond the bound
  while (huge.size() <= (16u << 20)) huge += std::string(1023, 'x') + "\n";
  // clang-format off
  const struct { const char* name; std::string text; TShape shape; uint32_t code; int32_t lines; const char* events; } cases[] = {
    {"empty: defaults", "", kFile, 0, 100, ""},
    {"byte-order mark, sections", bom + "[Prms]\nFlshLns=5\n[Evts]\nWP=\n", kFile, 0, 5, "WP=;"},
    {"byte-order mark, lines", bom + "+WP.\n!IMM\n", kFile, 0, 1, "WP.=;"},
    {"no header: line format", "+WP\n", kFile, 0, 100, "WP=;"},
    {"header: no line format", "[x]\n+WP\n!IMM\n", kFile, 0, 100, ""},
    {"last of equal keys wins", "[Prms]\nFlshLns=5\nflshlns=6\n[Evts]\nAP=a\nAP=b\n", kFile, 0, 6, "AP=b;"},
    {"over 16 MiB: kept", huge, kFile, 8, 7, "AP=;"},
    {"held by a writer: kept", "[Prms]\nFlshLns=5\n", kHeld, 32, 7, "AP=;"},
    {"missing: defaults", "", kMissing, 2, 100, ""},
    {"a directory: defaults", "", kDirectory, 5, 100, ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFile(settings, "[Prms]\nFlshLns=7\n[Evts]\nAP=\n");
    ASSERT_EQ(log.ReadSettings(), 0u);
    ASSERT_EQ(log.Params().FlushLines(), 7);
    std::filesystem::remove(settings);
    if (c.shape == kDirectory) std::filesystem::create_directory(settings);
    if (c.shape == kFile || c.shape == kHeld) test::WriteFile(settings, c.text);
    plat::FileHandle holder = nullptr;
    if (c.shape == kHeld)
      plat::OpenFile(settings.c_str(), plat::kGenericWrite, 0, plat::kOpenExisting, &holder);
    EXPECT_EQ(log.ReadSettings(), c.code);
    if (holder != nullptr) plat::CloseFile(holder);
    EXPECT_EQ(log.Params().FlushLines(), c.lines);
    EXPECT_EQ(Events(log.Params()), c.events);
    std::filesystem::remove(settings);
  }
}

// A large file: 400,000 items in one section are loaded, all kept in key
// order, and found; loading costs O(n log n), not a table move per item.
TEST(SettingsFileTest, LargeFilesLoadWhole) {
  std::string text = "[Evts]\n";
  constexpr unsigned kItems = 400000;
  for (unsigned i = 0; i < kItems; ++i) {
    const unsigned key = (i * 7919u) % kItems;  // every key once, out of order
    text += "K" + std::to_string(key) + "=v" + std::to_string(i) + "\n";
  }
  TSettingsFile file;
  file.Parse(text.data(), uint32_t(text.size()));
  const TSettingsSection* evts = file.FindSection("EVTS");
  ASSERT_NE(evts, nullptr);
  ASSERT_EQ(evts->ItemCount(), kItems);
  for (unsigned i = 1; i < kItems; ++i) {
    ASSERT_LE(plat::TextCompareNoCase(evts->Item(i - 1)->Key().CStr(), evts->Item(i)->Key().CStr()), 0) << i;
  }
  for (unsigned key : {0u, 1u, 399999u, 123456u}) {
    const TSettingsItem* item = evts->FindItem(("k" + std::to_string(key)).c_str());
    ASSERT_NE(item, nullptr) << key;
    EXPECT_EQ(Atol32(item->Value().CStr() + 1) * 7919u % kItems, key);
  }
  try {
    evts->Item(kItems);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=400000,cnt=400000)] 'yxgen' line 1099 ");
  }
}

}  // namespace
}  // namespace yx

// Differential table of CompareText (lstrcmpA, or lstrcmpiA with flag 1, on
// Windows): the order it gives every text of one and two bytes and seeded
// random texts, each in hex after "=" when equal to the one before or "<",
// and its sign for random pairs; run_diff.sh compares the Linux build's lines
// with the Windows build's under Wine.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "yxgen.h"

namespace {

using Texts = std::vector<std::string>;

std::string Hex(const std::string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

Texts ShortTexts() {
  Texts texts;
  for (int a = 1; a < 256; ++a) {
    texts.push_back(std::string(1, char(a)));
    for (int b = 1; b < 256; ++b) texts.push_back(std::string{char(a), char(b)});
  }
  return texts;
}

// Half the texts draw their bytes from all 255, half from characters whose
// order has rules of its own (ignored, word-sort, expanding, accented,
// cased and Cyrillic ones), so that texts often share their letters.
Texts RandomTexts(uint64_t seed, unsigned count) {
  static const unsigned char kSpecial[] = {
      'a',  'b',  'e',  's',  't',  'h',  'o',  'A',  'E',  'S',  '-',  '\'', ' ',  '0',  '1',  0x01,
      0x7F, 0xAD, 0x96, 0x97, 0xDF, 0xE6, 0xC6, 0x9C, 0x8C, 0xFE, 0xDE, 0xE0, 0xE9, 0xC9, 0xB2, 0xAA,
      0xE0, 0xE1, 0xE5, 0xB8, 0xA8, 0xC5, 0xC0, 0x8A, 0x9A, 0xFF, 0x9F, 0xF0, 0xD0, 0xBA, 0xB3, 0xB2};
  std::mt19937_64 random(seed);  // fully specified: both builds draw the same texts
  auto below = [&random](unsigned n) { return unsigned(random() % n); };
  Texts texts;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned length = 1 + below(8);
    const bool special = (i & 1) != 0;
    std::string text;
    for (unsigned k = 0; k < length; ++k) {
      text += special ? char(kSpecial[below(sizeof kSpecial)]) : char(1 + below(255));
    }
    texts.push_back(text);
  }
  return texts;
}

void PrintOrder(const char* title, Texts texts, int flags) {
  std::stable_sort(texts.begin(), texts.end(), [flags](const std::string& a, const std::string& b) {
    const int r = yx::CompareText(a.c_str(), b.c_str(), flags);
    return r != 0 ? r < 0 : a < b;
  });
  std::printf("# order %s, flags %d\n", title, flags);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const bool equal = i != 0 && yx::CompareText(texts[i - 1].c_str(), texts[i].c_str(), flags) == 0;
    std::printf("%c %s\n", equal ? '=' : '<', Hex(texts[i]).c_str());
  }
}

void PrintPairs(const Texts& texts, int flags) {
  std::printf("# pairs, flags %d\n", flags);
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
    const int r = yx::Sign(yx::CompareText(texts[i].c_str(), texts[i + 1].c_str(), flags));
    std::printf("%s %s %d\n", Hex(texts[i]).c_str(), Hex(texts[i + 1]).c_str(), r);
  }
}

}  // namespace

int main() {
  const Texts shortTexts = ShortTexts();
  const Texts randomTexts = RandomTexts(20261207, 100000);
  const Texts pairTexts = RandomTexts(7, 200000);
  for (int flags : {0, 1}) {
    PrintOrder("of the texts of one and two bytes", shortTexts, flags);
    PrintOrder("of the random texts", randomTexts, flags);
    PrintPairs(pairTexts, flags);
  }
  return 0;
}

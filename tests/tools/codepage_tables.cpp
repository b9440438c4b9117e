// Prints the character tables of platform/posix/CodePages.cpp from the
// Windows text functions of the code page it runs in (1252 or 1251):
// CharUpperA, CharLowerA, IsCharAlphaA, CharToOemA, and the sort weights of
// each character, read from the sort keys of LCMapStringA, which order texts
// as lstrcmpA and (with NORM_IGNORECASE) lstrcmpiA do.
//
//   codepage_tables --head   the file's opening lines
//   codepage_tables          the tables of the ANSI code page in force
//   codepage_tables --tail   the file's closing lines
//
// scripts/gen-codepage-tables.sh runs it under Wine, once in an English and
// once in a Russian locale, to write or check the file.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

void PrintTable(const char* type, const char* name, unsigned codePage, const unsigned* values) {
  std::printf("const %s %s%u[256] = {\n", type, name, codePage);
  for (int row = 0; row < 256; row += 16) {
    std::printf("   ");
    for (int i = row; i < row + 16; ++i) std::printf(" %u,", values[i]);
    std::printf("\n");
  }
  std::printf("};\n");
}

// The sort weights of one character under lstrcmpA (flags 0) or lstrcmpiA
// (NORM_IGNORECASE), read from the sort key that LCMapStringA gives for the
// one-character text. A key reads: the primary weights (two bytes each), 1,
// one diacritic weight per primary weight, 1, one case weight per primary
// weight, 1, (nothing), 1, the word-sort entries (four bytes each: a
// position, the weight and 0x12), 0; trailing diacritic and case weights of
// 2 are left out. Returns false when the key has another form.
struct Weights {
  unsigned units = 0;
  unsigned primary[2] = {0, 0};
  unsigned diacritic[2] = {2, 2};
  unsigned caseWeight[2] = {2, 2};
  unsigned special = 0;
};

bool ReadWeights(int c, DWORD flags, Weights* w) {
  const char text[2] = {char(c), '\0'};
  unsigned char key[64];
  const int n = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | flags, text, -1,
                             reinterpret_cast<char*>(key), sizeof key);
  int i = 0;
  while (i + 1 < n && key[i] != 1) {
    if (w->units == 2) return false;
    w->primary[w->units++] = unsigned(key[i]) << 8 | key[i + 1];
    i += 2;
  }
  for (unsigned* level : {w->diacritic, w->caseWeight}) {
    if (i >= n || key[i++] != 1) return false;
    for (unsigned k = 0; i < n && key[i] != 1; ++k, ++i) {
      if (k >= w->units) return false;
      level[k] = key[i];
    }
  }
  if (i + 1 >= n || key[i] != 1 || key[i + 1] != 1) return false;
  i += 2;
  if (i + 4 < n && w->units == 0) {
    if (key[i] != 0xFF || key[i + 1] != 0xFF || key[i + 3] != 0x12) return false;
    w->special = key[i + 2];
    i += 4;
  }
  return i == n - 1 && key[i] == 0;
}

// The sort weights of every byte, one line each; exits when a key has a
// form the POSIX comparison does not model, or when the keys of lstrcmpA
// and lstrcmpiA differ in more than their case weights.
void PrintSortWeights(unsigned codePage) {
  std::printf("const SortWeights kSort%u[256] = {\n", codePage);
  for (int c = 0; c < 256; ++c) {
    Weights w, n;
    if (c != 0 && (!ReadWeights(c, 0, &w) || !ReadWeights(c, NORM_IGNORECASE, &n) || w.units != n.units ||
                   w.special != n.special || w.primary[0] != n.primary[0] || w.primary[1] != n.primary[1] ||
                   w.diacritic[0] != n.diacritic[0] || w.diacritic[1] != n.diacritic[1])) {
      std::fprintf(stderr, "codepage_tables: the sort key of byte %02x has an unexpected form\n", c);
      std::exit(1);
    }
    std::printf(
        "    {%u, 0x%02x, {0x%04x, 0x%04x}, {0x%02x, 0x%02x}, {0x%02x, 0x%02x}, {0x%02x, 0x%02x}},  // "
        "%02x\n",
        w.units, w.special, w.primary[0], w.primary[1], w.diacritic[0], w.diacritic[1], w.caseWeight[0],
        w.caseWeight[1], n.caseWeight[0], n.caseWeight[1], c);
  }
  std::printf("};\n");
}

// The tables of the code page in force, after a blank line.
void PrintCodePage() {
  const unsigned cp = GetACP();
  std::printf("\n");
  unsigned upper[256], lower[256], alpha[256], oem[256];
  for (int c = 0; c < 256; ++c) {
    char s[2] = {char(c), '\0'};
    CharUpperA(s);
    upper[c] = static_cast<unsigned char>(s[0]);
    s[0] = char(c);
    CharLowerA(s);
    lower[c] = static_cast<unsigned char>(s[0]);
    alpha[c] = IsCharAlphaA(char(c)) ? 1 : 0;
    s[0] = char(c);
    CharToOemA(s, s);  // converts in place, as Windows allows
    oem[c] = static_cast<unsigned char>(s[0]);
  }
  PrintTable("unsigned char", "kUpper", cp, upper);
  PrintTable("unsigned char", "kLower", cp, lower);
  PrintTable("unsigned char", "kAlpha", cp, alpha);
  PrintTable("unsigned char", "kOem", cp, oem);
  PrintSortWeights(cp);
}

// The lines before the tables.
const char kHead[] =
    "// Character tables of the two ANSI code pages the POSIX build supports:\n"
    "// 1252 (Western, English users) and 1251 (Cyrillic, Russian users). They give\n"
    "// the same results as the Windows text functions for every byte: upper and\n"
    "// lower case, letters, the ANSI-to-OEM conversion (OEM 437 and 866, with the\n"
    "// best-fit replacements Windows uses) and the sort weights of each character\n"
    "// (see SortWeights in CodePages.h).\n"
    "// Generated by tests/tools/codepage_tables.cpp, run under Wine by\n"
    "// scripts/gen-codepage-tables.sh; do not edit.\n"
    "\n"
    "#include \"CodePages.h\"\n"
    "\n"
    "namespace plat::detail {\n"
    "\n"
    "// clang-format off\n";

// The lines after the tables.
const char kTail[] =
    "\n"
    "const CodePageTables kCodePage1252 = {1252, 437, kUpper1252, kLower1252, kAlpha1252, kOem1252, "
    "kSort1252};\n"
    "const CodePageTables kCodePage1251 = {1251, 866, kUpper1251, kLower1251, kAlpha1251, kOem1251, "
    "kSort1251};\n"
    "// clang-format on\n"
    "\n"
    "}  // namespace plat::detail\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--head") == 0) {
    std::fputs(kHead, stdout);
  } else if (argc == 2 && std::strcmp(argv[1], "--tail") == 0) {
    std::fputs(kTail, stdout);
  } else if (argc == 1 && (GetACP() == 1252 || GetACP() == 1251)) {
    PrintCodePage();
  } else {
    std::fprintf(stderr, "usage: codepage_tables [--head | --tail], in code page 1252 or 1251 (this is %u)\n",
                 GetACP());
    return 2;
  }
  return 0;
}

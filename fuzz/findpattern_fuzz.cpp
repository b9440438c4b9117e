// Fuzz target of BStrBase::FindPattern, the pattern search of the event
// filter.
//
// Input: one byte of options (bit 0 ignores case, the other bits choose a
// start position), the pattern up to the first zero byte, then the subject up
// to the next zero byte or the end. Without a zero byte the pattern is
// searched for in itself.
//
// Properties held for every input, from several start positions:
// - the result is kNotFound or a position of the subject at or after start;
// - the search is a "first match at or after start": from the found position
//   and from any position between start and it, the same position comes back;
//   when nothing is found, nothing is found from a later start either;
// - a leading ".*" changes nothing;
// - ignoring case never finds later, for patterns without classes and
//   alternatives (whose unclosed classes and fallback may end a search);
// - a pattern of ASCII letters and digits is found no later than a plain
//   substring search finds it (other bytes may compare equal in the user's
//   locale) and, in an all-ASCII subject, exactly where it finds it;
// - for short inputs, the result equals that of a reference search written
//   plainly from the pattern language, without memoisation.
// Besides the subject given, subjects built from the pattern's elements are
// searched, so that classes, repetitions and escapes meet characters they
// accept or just miss.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "BStr.h"
#include "FuzzCheck.h"

namespace yx {
namespace {

using fuzz::Escaped;
using fuzz::Fail;

// The reference search: the steps of the pattern language one by one, each
// ".*" in the middle of a pattern searching the rest afresh.
class TReferenceSearch {
 public:
  TReferenceSearch(const std::string& subject, bool ignoreCase)
      : subject_(subject), ignoreCase_(ignoreCase) {}

  unsigned Find(const std::string& pattern, unsigned start) const {
    if (pattern.find('|') != std::string::npos) {
      unsigned best = kNotFound;
      size_t from = 0;
      for (;;) {
        const size_t bar = pattern.find('|', from);
        const std::string alternative =
            pattern.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        best = std::min(best, Find(alternative, start));
        if (bar == std::string::npos) break;
        from = bar + 1;
      }
      if (best != kNotFound) return best;
    }
    std::string rest = pattern;
    while (rest.compare(0, 2, ".*") == 0) rest.erase(0, 2);
    if (rest.empty()) return kNotFound;
    for (unsigned p = start; p < subject_.size(); ++p) {
      switch (Attempt(rest, p)) {
        case kMatched: return p;
        case kNoClass: return kNotFound;
        case kFailed: break;
      }
    }
    return kNotFound;
  }

 private:
  enum Result { kMatched, kFailed, kNoClass };

  Result Attempt(const std::string& pattern, unsigned s) const {
    const unsigned length = unsigned(subject_.size());
    size_t i = 0;
    while (i < pattern.size()) {
      if (s >= length) return kFailed;
      const char c = pattern[i];
      const bool starred = i + 1 < pattern.size() && pattern[i + 1] == '*';
      if (c == '\\') {
        if (i + 1 == pattern.size() || !Equal(pattern[i + 1], subject_[s])) return kFailed;
        ++s;
        i += 2;
      } else if (c == '.' && starred) {
        if (i + 2 == pattern.size()) return kMatched;
        return Find(pattern.substr(i + 2), s) != kNotFound ? kMatched : kFailed;
      } else if (starred) {
        while (s < length && subject_[s] == c) ++s;
        i += 2;
      } else if (c == '.') {
        ++s;
        ++i;
      } else if (c == '[') {
        const size_t close = pattern.find(']', i + 1);
        if (close == std::string::npos) return kNoClass;
        if (!InClass(pattern.substr(i + 1, close - i - 1), subject_[s])) return kFailed;
        ++s;
        i = close + 1;
      } else {
        if (!Equal(c, subject_[s])) return kFailed;
        ++s;
        ++i;
      }
    }
    return kMatched;
  }

  // Ordinary characters compare as one-character texts in the user's locale.
  bool Equal(char pattern, char subject) const {
    return CompareChar(pattern, subject, ignoreCase_ ? 1 : 0) == 0;
  }

  // Every character but "-" joins the class; a "-" between two characters
  // adds the range between them in signed 8-bit order; a "-" at either end
  // is itself. Bytes compare exactly.
  static bool InClass(const std::string& text, char c) {
    const int x = static_cast<signed char>(c);
    for (size_t k = 0; k < text.size(); ++k) {
      if (text[k] == '-' && k > 0 && k + 1 < text.size()) {
        if (static_cast<signed char>(text[k - 1]) <= x && x <= static_cast<signed char>(text[k + 1])) {
          return true;
        }
      } else if (text[k] == c) {
        return true;
      }
    }
    return false;
  }

  const std::string& subject_;
  bool ignoreCase_;
};

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

unsigned PlainFind(const std::string& subject, const std::string& what, unsigned start) {
  if (start > subject.size()) return kNotFound;
  const size_t at = subject.find(what, start);
  return at == std::string::npos ? kNotFound : unsigned(at);
}

size_t CountOf(const std::string& text, const char* what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A subject built to stand on the pattern's elements, so that matches and
// near misses are common: each element is replaced by a character it
// accepts or one just beside it (the ends of class ranges and the
// characters right outside them, the other case of a letter), repetitions
// by a few copies, ".*" by a few characters. `choice` varies the picks.
std::string Witness(const std::string& pattern, unsigned choice) {
  std::string out;
  auto next = [&choice](unsigned n) {
    choice = choice * 1103515245u + 12345u;
    return (choice >> 16) % n;
  };
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    const bool starred = i + 1 < pattern.size() && pattern[i + 1] == '*';
    if (c == '\\') {
      if (i + 1 < pattern.size()) out += pattern[i + 1];
      i += 2;
    } else if (c == '.' && starred) {
      out.append(next(3), "xyz"[next(3)]);
      i += 2;
    } else if (starred) {
      out.append(next(4), c);
      i += 2;
    } else if (c == '.') {
      out += "a.Z"[next(3)];
      ++i;
    } else if (c == '[' && pattern.find(']', i + 1) != std::string::npos) {
      const size_t close = pattern.find(']', i + 1);
      std::string candidates;
      for (size_t k = i + 1; k < close; ++k) {
        candidates += pattern[k];
        if (pattern[k] == '-' && k > i + 1 && k + 1 < close) {
          candidates += char(pattern[k - 1] - 1);
          candidates += char(pattern[k + 1] + 1);
        }
      }
      if (!candidates.empty()) out += candidates[next(unsigned(candidates.size()))];
      i = close + 1;
    } else {
      const bool flip = next(4) == 0 && IsAsciiAlnum(c) && !(c >= '0' && c <= '9');
      out += flip ? char(c ^ 0x20) : c;
      ++i;
    }
  }
  out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());  // a subject ends at a zero
  return out;
}

class TChecker {
 public:
  TChecker(const std::string& pattern, const std::string& subject)
      : pattern_(pattern), subject_(subject), text_(subject.c_str()) {
    if (text_.Length() != subject.size()) {
      Fail("BStr of %zu bytes has length %u", subject.size(), text_.Length());
    }
  }

  unsigned Find(const std::string& pattern, unsigned start, int flags) const {
    return text_.FindPattern(pattern.c_str(), start, flags);
  }

  void CheckFrom(unsigned start, int flags) const {
    const unsigned length = text_.Length();
    const unsigned found = Find(pattern_, start, flags);
    if (found != kNotFound && (found < start || found >= length)) {
      Report("result out of range", start, flags, found);
    }

    if (found != kNotFound) {
      if (Find(pattern_, found, flags) != found) {
        Report("not found again from its own position", start, flags, found);
      }
      const unsigned between = start + (found - start) / 2;
      if (Find(pattern_, between, flags) != found) {
        Report("other result from a start in between", between, flags, found);
      }
    } else if (start < length && Find(pattern_, start + 1, flags) != kNotFound) {
      Report("found from a later start only", start + 1, flags, found);
    }

    if (Find(".*" + pattern_, start, flags) != found) {
      Report("a leading .* changed the result", start, flags, found);
    }

    const bool ignoreCase = (flags & kIgnoreCase) != 0;
    if (ignoreCase && pattern_.find_first_of("[|") == std::string::npos) {
      const unsigned exact = Find(pattern_, start, 0);
      if (found > exact) {
        Report("ignoring case found later than respecting it", start, flags, found, int(exact));
      }
    }

    if (!pattern_.empty() && std::all_of(pattern_.begin(), pattern_.end(), IsAsciiAlnum)) {
      const unsigned plain = ignoreCase ? PlainFind(AsciiLower(subject_), AsciiLower(pattern_), start)
                                        : PlainFind(subject_, pattern_, start);
      const bool asciiSubject = std::all_of(subject_.begin(), subject_.end(),
                                            [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      if (found > plain || (asciiSubject && found != plain)) {
        Report("differs from the plain substring search", start, flags, found, int(plain));
      }
    }

    // The reference costs a power of the subject length per ".*".
    if (subject_.size() <= 48 && pattern_.size() <= 48 && CountOf(pattern_, ".*") <= 2) {
      const unsigned expected = TReferenceSearch(subject_, ignoreCase).Find(pattern_, start);
      if (found != expected) Report("differs from the reference search", start, flags, found, int(expected));
    }
  }

 private:
  // Reports a broken property; `expected` is -2 where the property names no
  // single expected result.
  [[noreturn]] void Report(const char* what, unsigned start, int flags, unsigned found,
                           int expected = -2) const {
    Fail("FindPattern: %s\n  pattern \"%s\"\n  subject \"%s\"\n  start %u, flags %d, result %d, expected %d",
         what, Escaped(pattern_).c_str(), Escaped(subject_).c_str(), start, flags, int(found), expected);
  }

  const std::string& pattern_;
  const std::string& subject_;
  BStr text_;
};

}  // namespace
}  // namespace yx

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  const int flags = data[0] & 1;
  const unsigned pick = data[0] >> 1;
  const char* end = text + size;
  const char* patternBegin = text + 1;
  const char* zero = static_cast<const char*>(std::memchr(patternBegin, 0, size_t(end - patternBegin)));
  const std::string pattern(patternBegin, zero != nullptr ? zero : end);
  std::string subject = pattern;
  if (zero != nullptr) {
    const char* subjectBegin = zero + 1;
    const char* next = static_cast<const char*>(std::memchr(subjectBegin, 0, size_t(end - subjectBegin)));
    subject.assign(subjectBegin, next != nullptr ? next : end);
  }

  const unsigned length = unsigned(subject.size());
  const yx::TChecker checker(pattern, subject);
  // A search costs up to about pattern times subject length steps; long
  // inputs get the checks with the case flag as given only, and no made
  // subjects, so that one input stays far inside the fuzzer's timeout.
  const bool small = pattern.size() * subject.size() <= 64 * 1024;
  for (const unsigned start : {0u, pick % (length + 2), length, length + 7, yx::kNotFound - 1}) {
    checker.CheckFrom(start, flags);
    if (small) checker.CheckFrom(start, flags ^ yx::kIgnoreCase);
  }
  // Subjects made from the pattern itself, alone and behind the subject.
  for (unsigned variant = 0; small && variant < 3; ++variant) {
    const std::string witness = yx::Witness(pattern, pick * 3 + variant);
    for (const std::string& made : {witness, subject.substr(0, 16) + witness}) {
      const yx::TChecker other(pattern, made);
      other.CheckFrom(0, flags);
      other.CheckFrom(pick % (unsigned(made.size()) + 1), flags ^ yx::kIgnoreCase);
    }
  }
  return 0;
}

// A plain reference search for the pattern language of BStrBase::FindPattern,
// shared by the unit tests and the fuzz target. No memoisation: its cost grows
// with a power of the subject length per ".*", so it serves short inputs.
#pragma once

#include <algorithm>
#include <string>

#include "BStr.h"

namespace yx::test {

class TPatternReference {
 public:
  TPatternReference(const std::string& subject, bool ignoreCase)
      : subject_(subject), ignoreCase_(ignoreCase) {}

  unsigned Find(const std::string& pattern, unsigned start) const {
    if (pattern.find('|') != std::string::npos) {
      unsigned best = kNotFound;
      for (std::size_t from = 0;;) {
        const std::size_t bar = pattern.find('|', from);
        best = std::min(best, Find(pattern.substr(from, bar == std::string::npos ? bar : bar - from), start));
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
  enum TResult { kMatched, kFailed, kNoClass };

  TResult Attempt(const std::string& pattern, unsigned s) const {
    std::size_t i = 0;
    while (i < pattern.size()) {
      if (s >= subject_.size()) return kFailed;
      const char c = pattern[i];
      const bool starred = i + 1 < pattern.size() && pattern[i + 1] == '*';
      if (c == '\\') {  // a backslash at the end has nothing to match
        if (i + 1 == pattern.size() || !Equal(pattern[i + 1], subject_[s])) return kFailed;
        ++s;
        i += 2;
      } else if (c == '.' && starred) {
        if (i + 2 == pattern.size()) return kMatched;
        return Find(pattern.substr(i + 2), s) != kNotFound ? kMatched : kFailed;
      } else if (starred) {
        while (s < subject_.size() && subject_[s] == c) ++s;
        i += 2;
      } else if (c == '[') {
        const std::size_t close = pattern.find(']', i + 1);
        if (close == std::string::npos) return kNoClass;
        if (!InClass(pattern.substr(i + 1, close - i - 1), subject_[s])) return kFailed;
        ++s;
        i = close + 1;
      } else {
        if (c != '.' && !Equal(c, subject_[s])) return kFailed;
        ++s;
        ++i;
      }
    }
    return kMatched;
  }

  // Ordinary and escaped characters compare as one-character texts (the
  // answers are kept: the locale comparison is slow).
  bool Equal(char pattern, char subject) const {
    static signed char known[2][256][256];  // 0 not yet asked, 1 equal, 2 not
    signed char& k =
        known[ignoreCase_][static_cast<unsigned char>(pattern)][static_cast<unsigned char>(subject)];
    if (k == 0) k = CompareChar(pattern, subject, ignoreCase_ ? 1 : 0) == 0 ? 1 : 2;
    return k == 1;
  }

  // Every character but "-" joins the class; a "-" between two characters
  // adds the range between them in signed 8-bit order; a "-" at either end
  // is itself. Bytes compare exactly.
  static bool InClass(const std::string& text, char c) {
    const int x = static_cast<signed char>(c);
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (text[k] == '-' && k > 0 && k + 1 < text.size()) {
        if (static_cast<signed char>(text[k - 1]) <= x && x <= static_cast<signed char>(text[k + 1]))
          return true;
      } else if (text[k] == c) {
        return true;
      }
    }
    return false;
  }

  const std::string& subject_;
  bool ignoreCase_;
};

}  // namespace yx::test

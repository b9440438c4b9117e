// BStrBase::FindPattern: the pattern search of the event filter.
//
// Language: "|" separates alternatives at the top level; "\x" is x itself;
// "x*" is zero or more x (exact bytes); ".*" is anything; "." any one
// character; "[...]" one character of a class with "a-z" ranges in signed
// 8-bit order (exact bytes); any other character is itself, compared in the
// user's locale, without regard to case when asked.
//
// Every element needs a character of the subject to stand on, so an element
// met at the end of the subject fails, even a trailing "x*" or ".*".
//
// The inner ".*" search is memoised per (rest of pattern, subject position),
// which keeps the cost polynomial for patterns such as ".*a.*a.*a.*b".

#include <map>
#include <utility>

#include "BStr.h"

namespace yx {
namespace {

// A piece of pattern text (not zero-terminated).
struct TPatternText {
  const char* data;
  unsigned size;
};

class TPatternSearch {
 public:
  TPatternSearch(const char* subject, unsigned length, bool ignoreCase)
      : subject_(subject), length_(length), ignoreCase_(ignoreCase) {}

  // First position >= start at which the pattern matches, or kNotFound.
  unsigned Find(TPatternText pattern, unsigned start) {
    // Alternatives first; when none is found the whole pattern is tried
    // with "|" as an ordinary character.
    bool split = false;
    for (unsigned i = 0; i < pattern.size; ++i) split = split || pattern.data[i] == '|';
    if (split) {
      unsigned best = kNotFound;
      unsigned from = 0;
      for (unsigned i = 0; i <= pattern.size; ++i) {
        if (i == pattern.size || pattern.data[i] == '|') {
          const unsigned p = FindPlain({pattern.data + from, i - from}, start);
          if (p < best) best = p;
          from = i + 1;
        }
      }
      if (best != kNotFound) return best;
    }
    return FindPlain(pattern, start);
  }

 private:
  // The search without the alternatives step.
  unsigned FindPlain(TPatternText pattern, unsigned start) {
    while (pattern.size >= 2 && pattern.data[0] == '.' && pattern.data[1] == '*') {
      pattern.data += 2;
      pattern.size -= 2;
    }
    if (pattern.size == 0) return kNotFound;
    for (unsigned p = start; p < length_; ++p) {
      const Attempt result = Match(pattern, p);
      if (result == Attempt::kMatched) return p;
      if (result == Attempt::kNoClass) return kNotFound;
    }
    return kNotFound;
  }

  enum class Attempt { kMatched, kFailed, kNoClass };

  Attempt Match(TPatternText pattern, unsigned s) {
    const char* e = pattern.data;
    const char* end = pattern.data + pattern.size;
    while (e < end) {
      if (s >= length_) return Attempt::kFailed;
      const char c = *e;
      if (c == '\\') {
        if (e + 1 == end) return Attempt::kFailed;  // nothing to escape
        if (!Same(e[1], subject_[s])) return Attempt::kFailed;
        ++s;
        e += 2;
      } else if (c != '.' && e + 1 < end && e[1] == '*') {
        while (s < length_ && subject_[s] == c) ++s;
        e += 2;
      } else if (c == '.' && e + 1 < end && e[1] == '*') {
        if (e + 2 == end) return Attempt::kMatched;
        return FoundFrom({e + 2, unsigned(end - (e + 2))}, s) ? Attempt::kMatched : Attempt::kFailed;
      } else if (c == '.') {
        ++s;
        ++e;
      } else if (c == '[') {
        const char* close = e + 1;
        while (close < end && *close != ']') ++close;
        if (close == end) return Attempt::kNoClass;
        if (!InClass(e + 1, close, subject_[s])) return Attempt::kFailed;
        ++s;
        e = close + 1;
      } else {
        if (!Same(c, subject_[s])) return Attempt::kFailed;
        ++s;
        ++e;
      }
    }
    return Attempt::kMatched;
  }

  // Whether the rest of a pattern after ".*" is found at or after s. The
  // answer falls as s grows: true up to the last match start, false after.
  // So each rest keeps the largest s known to find it and the smallest s
  // known not to, and the search runs only between the two.
  bool FoundFrom(TPatternText rest, unsigned s) {
    TKnown& known = memo_[std::make_pair(rest.data, rest.size)];
    if (known.foundUpTo != kNotFound && s <= known.foundUpTo) return true;
    if (s >= known.missingFrom) return false;
    const unsigned p = Find(rest, s);
    if (p == kNotFound) {
      known.missingFrom = s;
      return false;
    }
    if (known.foundUpTo == kNotFound || p > known.foundUpTo) known.foundUpTo = p;
    return true;
  }

  // Characters match when their classes under the locale comparison are equal.
  bool Same(char pattern, char subject) const {
    const unsigned char* classes = CharClasses(ignoreCase_ ? 1 : 0);
    return classes[static_cast<unsigned char>(pattern)] == classes[static_cast<unsigned char>(subject)];
  }

  // The class between first and last: characters, and ranges "a-z" from the
  // character before the "-" to the one after it (signed 8-bit order). A
  // "-" at either end of the class stands for itself.
  static bool InClass(const char* first, const char* last, char c) {
    bool set[256] = {};
    for (const char* k = first; k < last; ++k) {
      if (*k == '-' && k > first && k + 1 < last) {
        for (int x = static_cast<signed char>(k[-1]); x <= static_cast<signed char>(k[1]); ++x) {
          set[static_cast<unsigned char>(x)] = true;
        }
      } else {
        set[static_cast<unsigned char>(*k)] = true;
      }
    }
    return set[static_cast<unsigned char>(c)];
  }

  const char* subject_;
  unsigned length_;
  bool ignoreCase_;
  struct TKnown {
    unsigned foundUpTo = kNotFound;    // every s up to here finds the rest
    unsigned missingFrom = kNotFound;  // no s from here finds it
  };
  std::map<std::pair<const char*, unsigned>, TKnown> memo_;
};

}  // namespace

unsigned BStrBase::FindPattern(const char* pattern, unsigned start, int flags) const {
  if (pattern == nullptr || data_ == nullptr) return kNotFound;
  TPatternSearch search(data_, length_, (flags & kIgnoreCase) != 0);
  return search.Find({pattern, unsigned(std::strlen(pattern))}, start);
}

}  // namespace yx

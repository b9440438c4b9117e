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

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "BStr.h"

namespace yx {
namespace {

// A piece of pattern text (not zero-terminated).
struct TPatternText {
  const char* data;
  unsigned size;
};

// The search runs on an explicit stack of frames, one per pending inner
// ".*" search, so that its depth is bounded by memory, not by the thread's
// stack: a settings line of thousands of "x*.*" pairs nests that deep.
class TPatternSearch {
 public:
  TPatternSearch(const char* subject, unsigned length, bool ignoreCase)
      : subject_(subject), length_(length), ignoreCase_(ignoreCase) {}

  // First position >= start at which the pattern matches, or kNotFound.
  unsigned Find(TPatternText pattern, unsigned start) {
    FindNextBars(pattern);
    frames_.clear();
    Push(pattern, start);
    unsigned result = kNotFound;
    while (!frames_.empty()) {
      if (!Advance(frames_.back())) continue;  // it pushed a frame for an inner search
      result = frames_.back().result;
      frames_.pop_back();
      if (!frames_.empty()) TakeInnerResult(frames_.back(), result);
    }
    return result;
  }

 private:
  enum class Attempt { kNone, kMatched, kFailed, kNoClass, kInner };

  struct TKnown {
    unsigned foundUpTo = kNotFound;    // every s up to here finds the rest
    unsigned missingFrom = kNotFound;  // no s from here finds it
  };

  // One search of a pattern from a start: first its alternatives, each a
  // plain search, then (when none is found) the whole pattern as a plain
  // search with "|" as an ordinary character.
  struct TFrame {
    TPatternText pattern;
    unsigned start;
    bool inAlternatives;  // still searching the alternatives
    unsigned nextPiece;   // offset of the next alternative; > size: none left
    unsigned best;        // the smallest position an alternative found
    TPatternText plain;   // the plain search in progress
    unsigned p;           // its current attempt
    Attempt pending;      // the outcome of the attempt at p, once known
    TKnown* waiting;      // the inner search this frame waits for
    unsigned waitingFrom;
    unsigned result;
  };

  void Push(TPatternText pattern, unsigned start) {
    TFrame f{pattern, start, false, 0, kNotFound, pattern, start, Attempt::kNone, nullptr, 0, kNotFound};
    if (NextBar(pattern, 0) < pattern.size) {
      f.inAlternatives = true;
      StartPiece(&f);
    } else {
      StartPlain(&f, pattern);
    }
    frames_.push_back(f);
  }

  // The offset in `text` of its first "|" at or after `from`, or its size.
  unsigned NextBar(TPatternText text, unsigned from) const {
    if (nextBar_.empty()) return text.size;  // the pattern has none
    const unsigned at = unsigned(text.data - whole_.data) + from;
    const unsigned bar = nextBar_[at];
    const unsigned end = unsigned(text.data - whole_.data) + text.size;
    return (bar < end ? bar : end) - unsigned(text.data - whole_.data);
  }

  // Notes, for each offset of the pattern, where its next "|" is; nothing
  // for a pattern without one.
  void FindNextBars(TPatternText pattern) {
    whole_ = pattern;
    nextBar_.clear();
    if (std::memchr(pattern.data, '|', pattern.size) == nullptr) return;
    nextBar_.assign(pattern.size + 1, pattern.size);
    for (unsigned i = pattern.size; i-- > 0;) nextBar_[i] = pattern.data[i] == '|' ? i : nextBar_[i + 1];
  }

  void StartPiece(TFrame* f) {
    const unsigned end = NextBar(f->pattern, f->nextPiece);
    StartPlain(f, {f->pattern.data + f->nextPiece, end - f->nextPiece});
    f->nextPiece = end + 1;
  }

  static void StartPlain(TFrame* f, TPatternText plain) {
    while (plain.size >= 2 && plain.data[0] == '.' && plain.data[1] == '*') {
      plain.data += 2;
      plain.size -= 2;
    }
    f->plain = plain;
    f->p = f->start;
  }

  // Runs the frame's attempts until it has its result (true), or until it
  // has pushed a frame for an inner search it must wait for (false).
  bool Advance(TFrame& f) {
    for (;;) {
      Attempt outcome = f.pending;
      f.pending = Attempt::kNone;
      if (outcome == Attempt::kNone) {
        if (f.plain.size == 0 || f.p >= length_) {
          outcome = Attempt::kNoClass;  // nothing (more) to find
        } else {
          TPatternText rest{};
          unsigned s = 0;
          outcome = Match(f.plain, f.p, &rest, &s);
          if (outcome == Attempt::kInner) {
            TKnown& known = memo_[std::make_pair(rest.data, rest.size)];
            if (known.foundUpTo != kNotFound && s <= known.foundUpTo) {
              outcome = Attempt::kMatched;
            } else if (s >= known.missingFrom) {
              outcome = Attempt::kFailed;
            } else {
              f.waiting = &known;
              f.waitingFrom = s;
              Push(rest, s);  // invalidates f
              return false;
            }
          }
        }
      }
      if (outcome == Attempt::kFailed) {
        ++f.p;
        continue;
      }
      const unsigned found = outcome == Attempt::kMatched ? f.p : kNotFound;
      if (!f.inAlternatives) {
        f.result = found;
        return true;
      }
      if (found < f.best) f.best = found;
      if (f.nextPiece <= f.pattern.size) {
        StartPiece(&f);
      } else if (f.best != kNotFound) {
        f.result = f.best;
        return true;
      } else {
        f.inAlternatives = false;
        StartPlain(&f, f.pattern);
      }
    }
  }

  // The answer of an inner search to the frame that waits for it. The
  // answer falls as s grows: true up to the last match start, false after.
  // So each rest keeps the largest s known to find it and the smallest s
  // known not to, and a search runs only between the two.
  static void TakeInnerResult(TFrame& f, unsigned found) {
    TKnown& known = *f.waiting;
    if (found == kNotFound) {
      known.missingFrom = f.waitingFrom;
      f.pending = Attempt::kFailed;
    } else {
      if (known.foundUpTo == kNotFound || found > known.foundUpTo) known.foundUpTo = found;
      f.pending = Attempt::kMatched;
    }
    f.waiting = nullptr;
  }

  // One attempt of a plain pattern at s. At an inner ".*" it stops with
  // kInner and the rest of the pattern and the subject position, whose
  // search decides the attempt.
  Attempt Match(TPatternText pattern, unsigned s, TPatternText* rest, unsigned* restFrom) const {
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
        *rest = {e + 2, unsigned(end - (e + 2))};
        *restFrom = s;
        return Attempt::kInner;
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
  std::map<std::pair<const char*, unsigned>, TKnown> memo_;
  std::vector<TFrame> frames_;
  TPatternText whole_{};
  std::vector<unsigned> nextBar_;  // for each offset of the pattern: its next "|"
};

// Whether every character of the pattern stands for itself: no "|", "\\",
// ".", "[" or "*" anywhere. Such a pattern matches where its characters
// follow one another in the subject.
bool IsLiteral(const char* pattern, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    switch (pattern[i]) {
      case '|':
      case '\\':
      case '.':
      case '[':
      case '*': return false;
      default: break;
    }
  }
  return true;
}

// The search of a literal pattern: the event filter's usual case, without
// the frames and tables of the general search.
unsigned FindLiteral(const char* subject, unsigned length, const char* pattern, unsigned size, unsigned start,
                     bool ignoreCase) {
  const unsigned char* classes = CharClasses(ignoreCase ? 1 : 0);
  for (unsigned p = start; p < length && length - p >= size; ++p) {
    unsigned i = 0;
    while (i < size && classes[static_cast<unsigned char>(pattern[i])] ==
                           classes[static_cast<unsigned char>(subject[p + i])])
      ++i;
    if (i == size) return p;
  }
  return kNotFound;
}

}  // namespace

unsigned FindPatternIn(const char* text, unsigned length, const char* pattern, unsigned start, int flags) {
  if (pattern == nullptr || text == nullptr) return kNotFound;
  const size_t size = std::strlen(pattern);
  const bool ignoreCase = (flags & kIgnoreCase) != 0;
  if (size != 0 && size <= 0xFFFFFFFFu && IsLiteral(pattern, size))
    return FindLiteral(text, length, pattern, unsigned(size), start, ignoreCase);
  TPatternSearch search(text, length, ignoreCase);
  return search.Find({pattern, unsigned(size)}, start);
}

unsigned BStrBase::FindPattern(const char* pattern, unsigned start, int flags) const {
  return FindPatternIn(data_, length_, pattern, start, flags);
}

}  // namespace yx

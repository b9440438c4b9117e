// Model-based tests of BStr and TPtrArray: a short reference model of each
// (text, length, capacity and what raises; items, count, capacity and what
// raises) follows seeded random operation sequences, and the library must
// agree with it after every step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BStr.h"
#include "yxgen.h"

namespace yx {
namespace {

// What an operation raised: nothing, or the class and the report text.
struct TRaised {
  std::string what;  // empty: nothing raised
  bool operator==(const TRaised& other) const { return what == other.what; }
};

std::string Report(const char* text, const char* file, unsigned line) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "[%s] '%s' line %u ", text, file, line);
  return buf;
}

std::string OutOfRange(const char* file, unsigned line, unsigned index, unsigned count) {
  char text[64];
  std::snprintf(text, sizeof text, "EOutOfRange(idx=%u,cnt=%u)", index, count);
  return Report(text, file, line);
}

std::string BadAlloc(const char* file, unsigned line, unsigned size) {
  char text[64];
  std::snprintf(text, sizeof text, "EBadAlloc(sz=%u)", size);
  return Report(text, file, line);
}

template <class Op>
TRaised Run(Op op) {
  try {
    op();
  } catch (const EException& e) {
    return {e.What()};
  }
  return {};
}

// ---------------------------------------------------------------------------
// BStr

// The reference string. Characters are drawn from a small alphabet whose
// letters compare as in ASCII under the locale comparison of both code pages.
struct TStrModel {
  static constexpr unsigned kMaxLength = 0x7FFFFFC0u;
  std::string text;
  unsigned capacity = 32;
  unsigned flags = 0;

  static unsigned CapacityFor(unsigned n) { return n - n % 32 + 32; }
  static bool Blank(char c) { return c == ' ' || c == '\t'; }
  static bool Same(char a, char b, int flags) {
    auto fold = [flags](char c) {
      return (flags & 1) != 0 && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    };
    return fold(a) == fold(b);
  }

  void Reserve(unsigned n) {
    if (n > kMaxLength) throw BadAlloc(kBStrSource, kLineBStrRange, n);
    if (n != 0 && capacity >= n + 1) return;
    capacity = CapacityFor(n);
    if (text.size() >= capacity) text.resize(capacity - 1);
  }
  void AutoTrim() {
    if ((flags & kTrimLeft) != 0) TrimLeft();
    if ((flags & kTrimRight) != 0) TrimRight();
  }
  void TrimLeft() {
    std::size_t n = 0;
    while (n < text.size() && Blank(text[n])) ++n;
    text.erase(0, n);
  }
  void TrimRight() {
    while (!text.empty() && Blank(text.back())) text.pop_back();
  }
  void Assign(const std::string& t, unsigned maxLen) {
    unsigned n = unsigned(t.size());
    if (maxLen != 0 && maxLen <= n) n = maxLen;
    Reserve(n);
    text = t.substr(0, n);
    AutoTrim();
  }
  void Insert(const std::string& t, unsigned pos, unsigned count) {
    const unsigned n = count != 0 ? count : unsigned(t.size());
    if (n == 0) return;
    if (pos > text.size()) throw OutOfRange(kBStrSource, kLineBStrRange, pos, unsigned(text.size()));
    Reserve(unsigned(text.size()) + n);
    text.insert(pos, t, 0, n);
    AutoTrim();
  }
  void Append(const std::string& t) {
    Reserve(unsigned(text.size() + t.size()));
    text += t;
    AutoTrim();
  }
  void Delete(unsigned pos, unsigned count) {
    const unsigned length = unsigned(text.size());
    if (pos >= length || count > length - pos) throw OutOfRange(kBStrSource, kLineBStrRange, pos, length);
    text.erase(pos, count == 0 ? length - pos : count);
    AutoTrim();
  }
  void CutTail(unsigned n) {
    if (n == 0) return;
    if (n >= text.size()) {
      text.clear();
      return;
    }
    Delete(unsigned(text.size()) - n, n);
  }
  void Unquote() {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
      Delete(0, 1);
      Delete(unsigned(text.size()) - 1, 1);
    }
  }
  unsigned Find(const std::string& what, unsigned start, int flags) const {
    const unsigned n = unsigned(what.size()), length = unsigned(text.size());
    if (n > length || start > length - n) return kNotFound;
    for (unsigned p = start; p + n <= length; ++p) {
      unsigned i = 0;
      while (i < n && Same(what[i], text[p + i], flags)) ++i;
      if (i == n) return p;
    }
    return kNotFound;
  }
  // One replacement at a time, each search after the text put in before;
  // the auto-trim runs once at the end.
  unsigned Replace(const std::string& what, const std::string& with, unsigned start, int flags) {
    if (what.empty()) return 0;
    unsigned replaced = 0;
    while (start < text.size()) {
      const unsigned p = Find(what, start, flags);
      if (p == kNotFound) break;
      text.erase(p, what.size());
      if (!with.empty()) {
        Reserve(unsigned(text.size() + with.size()));
        text.insert(p, with);
      }
      ++replaced;
      start = p + unsigned(with.size());
      if ((flags & kReplaceAll) == 0) break;
    }
    if (replaced != 0) AutoTrim();
    return replaced;
  }
  void Format(const std::string& t, unsigned n) {
    const std::string out = t + "|" + std::to_string(n);
    while (capacity < out.size() + 1) capacity = CapacityFor(capacity + 32);
    text = out;
  }
};

class TStrDriver {
 public:
  explicit TStrDriver(uint32_t seed) : random_(seed) {}

  void Step() {
    const unsigned op = Below(17);
    const std::string t = Text();
    const unsigned length = s_.Length();
    TRaised expected, actual;
    auto model = [&](auto f) {
      TStrModel before = m_;
      try {
        f();
      } catch (const std::string& what) {
        m_ = before;  // a raising operation leaves the string as it was
        expected.what = what;
      }
    };
    switch (op) {
      case 0: {
        const unsigned maxLen = Below(3) == 0 ? Below(6) : 0;
        model([&] { m_.Assign(t, maxLen); });
        actual = Run([&] { s_.Assign(t.c_str(), maxLen); });
        break;
      }
      case 1: {
        const unsigned pos = Below(length + 3), count = Below(2) == 0 ? 0 : Below(unsigned(t.size()) + 1);
        model([&] { m_.Insert(t, pos, count); });
        actual = Run([&] { s_.Insert(t.c_str(), pos, count); });
        break;
      }
      case 2:
        model([&] { m_.Append(t); });
        actual = Run([&] { s_.Append(t.c_str()); });
        break;
      case 3:
        model([&] { m_.Append(""); });
        actual = Run([&] { s_.Append(static_cast<const char*>(nullptr)); });
        break;
      case 4: {
        const unsigned pos = Below(length + 2), count = Below(length + 2);
        model([&] { m_.Delete(pos, count); });
        actual = Run([&] { s_.Delete(pos, count); });
        break;
      }
      case 5: {
        const unsigned n = Below(length + 2);
        model([&] { m_.CutTail(n); });
        actual = Run([&] { s_.CutTail(n); });
        break;
      }
      case 6:
        model([&] { m_.TrimLeft(), m_.TrimRight(); });
        actual = Run([&] { s_.Trim(); });
        break;
      case 7:
        model([&] { m_.Unquote(); });
        actual = Run([&] { s_.Unquote(); });
        break;
      case 8: {
        const unsigned n = Below(4) == 0   ? 0x7FFFFFC1u + Below(0x3E)
                           : Below(4) == 0 ? 0xFFFFFFFFu
                                           : Below(200);
        model([&] { m_.Reserve(n); });
        actual = Run([&] { s_.Reserve(n); });
        break;
      }
      case 9: {
        const std::string what = Text(3), with = Text(4);
        const unsigned start = Below(length + 2);
        const int flags = int(Below(2)) | (Below(3) != 0 ? kReplaceAll : 0);
        unsigned expectedCount = 0, actualCount = 0;
        model([&] { expectedCount = m_.Replace(what, with, start, flags); });
        actual = Run([&] { actualCount = s_.Replace(what.c_str(), with.c_str(), start, flags); });
        EXPECT_EQ(actualCount, expectedCount) << Trace();
        break;
      }
      case 10: {
        const std::string what = Text(3);
        const unsigned start = Below(length + 2);
        const int flags = int(Below(2));
        EXPECT_EQ(s_.Find(what.c_str(), start, flags), m_.Find(what, start, flags))
            << Trace() << " find \"" << what << "\" from " << start;
        break;
      }
      case 11: {  // move assignment of a string built from t
        model([&] { m_.Assign(t, 0); });
        actual = Run([&] { s_ = BStr(t.c_str()); });
        break;
      }
      case 12: {  // copy assignment
        const BStr other(t.c_str());
        model([&] { m_.Assign(t, 0); });
        actual = Run([&] { s_ = other; });
        break;
      }
      case 13: {
        const unsigned n = Below(100000);
        model([&] { m_.Format(t, n); });
        actual = Run([&] { s_.Format("%s|%u", t.c_str(), n); });
        break;
      }
      case 14:
        model([&] { m_.text.clear(); });
        actual = Run([&] { s_.Clear(); });
        break;
      case 15:
        m_.flags = Below(4);
        s_.SetFlags(m_.flags);
        break;
      default: {  // replace by texts that lie in the string itself
        const unsigned from = Below(length + 1);
        const std::string what = m_.text.substr(from), with = m_.text;
        unsigned expectedCount = 0, actualCount = 0;
        model([&] { expectedCount = m_.Replace(what, with, 0, kReplaceAll); });
        actual = Run([&] { actualCount = s_.Replace(s_.CStr() + from, s_.CStr(), 0, kReplaceAll); });
        EXPECT_EQ(actualCount, expectedCount) << Trace();
        break;
      }
    }
    history_.push_back(op);
    EXPECT_EQ(actual, expected) << Trace();
    ASSERT_EQ(std::string(s_.CStr()), m_.text) << Trace();
    ASSERT_EQ(s_.Length(), m_.text.size()) << Trace();
    ASSERT_EQ(s_.Capacity(), m_.capacity) << Trace();
  }

 private:
  unsigned Below(unsigned n) { return n == 0 ? 0 : unsigned(random_() % n); }
  std::string Text(unsigned maxLength = 6) {
    static const char kAlphabet[] = {' ', '\t', 'a', 'b', 'A', 'B', '"', '-'};
    std::string t;
    const unsigned n = Below(maxLength + 1);
    for (unsigned i = 0; i < n; ++i) t += kAlphabet[Below(sizeof kAlphabet)];
    if (Below(8) == 0) t += std::string(Below(70), 'a');  // past a capacity step
    return t;
  }
  std::string Trace() const {
    std::string ops;
    for (unsigned op : history_) ops += std::to_string(op) + " ";
    return "after operations " + ops + "on \"" + m_.text + "\"";
  }

  std::mt19937 random_;
  BStr s_;
  TStrModel m_;
  std::vector<unsigned> history_;
};

TEST(BStrModelTest, RandomOperationSequencesAgreeWithTheModel) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    TStrDriver driver(seed);
    for (int step = 0; step < 200; ++step) {
      driver.Step();
      if (::testing::Test::HasFailure()) {
        FAIL() << "seed " << seed << ", step " << step;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// TPtrArray

// An item whose Compare answers with any magnitude, as the contract allows.
struct TModelItem {
  TModelItem(int k, int scale) : key(k), scale(scale) {}
  int Compare(const TModelItem* other, int) const { return (key - other->key) * scale; }
  int key;
  int scale;
};

class TTableDriver {
 public:
  explicit TTableDriver(uint32_t seed)
      : random_(seed),
        sorted_(Below(3) != 0),
        unique_(sorted_ && Below(2) == 0),
        granularity_(std::vector<unsigned>{1, 3, 64}[Below(3)]),
        scale_(std::vector<int>{1, 7, 1000}[Below(3)]),
        table_(sorted_ ? 1 : 0, unique_ ? TPtrArray<TModelItem>::kUnique : 0, granularity_) {}

  void Step() {
    const unsigned count = unsigned(keys_.size());
    TRaised expected, actual;
    switch (Below(5)) {
      case 0:
      case 1: {
        const int key = int(Below(40));
        const bool refused = unique_ && std::count(keys_.begin(), keys_.end(), key) != 0;
        if (count == capacity_) capacity_ = RoundUp(count + 1);
        if (!refused) {
          keys_.insert(sorted_ ? std::upper_bound(keys_.begin(), keys_.end(), key) : keys_.end(), key);
        }
        auto* item = new TModelItem(key, scale_);
        const bool stored = table_.Add(item);
        if (!stored) delete item;
        EXPECT_EQ(stored, !refused);
        break;
      }
      case 2: {
        if (sorted_) return;
        const unsigned index = Below(count + 2);
        auto* item = new TModelItem(int(Below(40)), scale_);
        if (index > count) {
          expected.what = OutOfRange(kGenSource, kLinePtrArrayInsertAt, index, count);
        } else {
          if (count == capacity_) capacity_ = RoundUp(count + 1);
          keys_.insert(keys_.begin() + index, item->key);
        }
        actual = Run([&] { table_.InsertAt(item, index); });
        if (!actual.what.empty()) delete item;
        break;
      }
      case 3: {
        const unsigned n = Below(3) == 0 ? 0xFFFFFFFFu - Below(200) : Below(300);
        bool changed = false;
        if (n > count && n != capacity_) {
          if (RoundUp(n) > UINT32_MAX / sizeof(void*)) {
            expected.what = BadAlloc(kGenSource, kLinePtrArrayGrow, n);
          } else {
            capacity_ = unsigned(RoundUp(n));
            changed = true;
          }
        }
        bool result = false;
        actual = Run([&] { result = table_.Reserve(n); });
        EXPECT_EQ(result, changed) << "Reserve(" << n << ")";
        break;
      }
      default: {
        const unsigned index = Below(count + 1);
        if (index == count) expected.what = OutOfRange(kGenSource, kLinePtrArrayAt, index, count);
        TModelItem* item = nullptr;
        actual = Run([&] { item = table_.At(index); });
        if (item != nullptr) {
          EXPECT_EQ(item->key, keys_[index]);
        }
        if (sorted_) CheckSearches();
        break;
      }
    }
    EXPECT_EQ(actual, expected);
    ASSERT_EQ(table_.Count(), keys_.size());
    ASSERT_EQ(table_.Capacity(), capacity_);
    for (unsigned i = 0; i < keys_.size(); ++i) ASSERT_EQ(table_.At(i)->key, keys_[i]) << "index " << i;
  }

 private:
  unsigned Below(unsigned n) { return n == 0 ? 0 : unsigned(random_() % n); }
  uint64_t RoundUp(unsigned n) const {
    const unsigned rest = n % granularity_;
    return rest == 0 ? n : uint64_t(n) - rest + granularity_;
  }

  // Every relation for a key of every interesting kind; the relations other
  // than equality name one index only in a table without duplicates.
  void CheckSearches() {
    const int key = int(Below(42)) - 1;
    const TModelItem probe(key, scale_);
    const long first = long(std::lower_bound(keys_.begin(), keys_.end(), key) - keys_.begin());
    const long after = long(std::upper_bound(keys_.begin(), keys_.end(), key) - keys_.begin());
    unsigned index = 0;
    const bool present = first != after;
    ASSERT_EQ(table_.Search(&index, &probe, kEqual), present) << "key " << key;
    if (present) {
      EXPECT_EQ(keys_[index], key);
    }
    if (!unique_) return;
    const long n = long(keys_.size());
    const long wanted[] = {first - 1, after - 1, -1, first, after};
    for (int relation : {kLastBelow, kLastBelowOrEqual, kFirstAboveOrEqual, kFirstAbove}) {
      const long w = wanted[relation];
      const bool exists = w >= 0 && w < n;
      index = 0xFFFF;
      ASSERT_EQ(table_.Search(&index, &probe, relation), exists) << "key " << key << " relation " << relation;
      if (exists) {
        EXPECT_EQ(long(index), w) << "key " << key << " relation " << relation;
      }
    }
  }

  std::mt19937 random_;
  bool sorted_;
  bool unique_;
  unsigned granularity_;
  int scale_;
  TPtrArray<TModelItem> table_;
  std::vector<int> keys_;
  unsigned capacity_ = 0;
};

TEST(PtrArrayModelTest, RandomOperationSequencesAgreeWithTheModel) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    TTableDriver driver(seed);
    for (int step = 0; step < 200; ++step) {
      driver.Step();
      if (::testing::Test::HasFailure()) {
        FAIL() << "seed " << seed << ", step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace yx

// Seeded random operation sequences on BStr and TPtrArray: the library must
// agree after every step with a short reference model of each.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "BStr.h"
#include "yxgen.h"

namespace yx {
namespace {

std::string Report(const std::string& text, const char* file, unsigned line) {
  return "[" + text + "] '" + file + "' line " + std::to_string(line) + " ";
}

std::string OutOfRange(const char* file, unsigned line, unsigned index, unsigned count) {
  return Report("EOutOfRange(idx=" + std::to_string(index) + ",cnt=" + std::to_string(count) + ")", file,
                line);
}

std::string BadAlloc(const char* file, unsigned line, unsigned size) {
  return Report("EBadAlloc(sz=" + std::to_string(size) + ")", file, line);
}

// The report of what the operation raised; empty when nothing was raised.
template <class Op>
std::string Raised(Op op) {
  try {
    op();
  } catch (const EException& e) {
    return e.What();
  }
  return "";
}

int SignOf(int r) { return (r > 0) - (r < 0); }

// ---------------------------------------------------------------------------
// BStr

// The reference string over a small alphabet of ASCII characters.
struct TStrModel {
  static constexpr unsigned kMaxLength = 0x7FFFFFC0u;
  std::string text;
  unsigned capacity = 32;
  unsigned flags = 0;

  static unsigned CapacityFor(unsigned n) { return n - n % 32 + 32; }
  static bool Blank(char c) { return c == ' ' || c == '\t'; }
  static char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
  static bool Letter(char c) { return Upper(c) != Lower(c); }
  unsigned Length() const { return unsigned(text.size()); }

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
  // The trims delete, and so auto-trim the other side too.
  void TrimLeft() {
    const auto n = unsigned(std::find_if_not(text.begin(), text.end(), Blank) - text.begin());
    if (n != 0) Delete(0, n);
  }
  void TrimRight() {
    const auto n = unsigned(std::find_if_not(text.rbegin(), text.rend(), Blank) - text.rbegin());
    if (n != 0) Delete(Length() - n, 0);
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
    if (pos > Length()) throw OutOfRange(kBStrSource, kLineBStrRange, pos, Length());
    Reserve(Length() + n);
    text.insert(pos, t, 0, n);
    AutoTrim();
  }
  void Append(const std::string& t) {
    Reserve(unsigned(text.size() + t.size()));
    text += t;
    AutoTrim();
  }
  void AppendString(const std::string& t) {  // Append of a BStr: nothing when empty
    if (!t.empty()) Append(t);
  }
  void Delete(unsigned pos, unsigned count) {
    if (pos >= Length() || count > Length() - pos)
      throw OutOfRange(kBStrSource, kLineBStrRange, pos, Length());
    text.erase(pos, count == 0 ? Length() - pos : count);
    AutoTrim();
  }
  void CutTail(unsigned n) {
    if (n >= Length())
      text.clear();
    else if (n != 0)
      Delete(Length() - n, n);
  }
  void Unquote() {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
      Delete(0, 1);
      Delete(Length() - 1, 1);
    }
  }
  void ChangeCase(int mode, unsigned pos, unsigned count) {
    if (mode == 0 || mode == 1) {
      for (char& c : text) c = mode == 0 ? Upper(c) : Lower(c);
    } else if ((mode == 2 || mode == 3) && pos < Length()) {
      bool inWord = false;
      const unsigned end = count == 0 || count > Length() - pos ? Length() : pos + count;
      for (unsigned i = pos; i < end; ++i) {
        if (Letter(text[i])) {
          text[i] = inWord ? Lower(text[i]) : Upper(text[i]);
          inWord = true;
        } else if (mode == 2) {
          inWord = false;
        }
      }
    }
  }
  unsigned Find(const std::string& what, unsigned start, int flags) const {
    const unsigned n = unsigned(what.size());
    if (n > Length() || start > Length() - n) return kNotFound;
    for (unsigned p = start; p + n <= Length(); ++p) {
      unsigned i = 0;
      while (i < n && CompareChar(what[i], text[p + i], flags & 1) == 0) ++i;
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
  // Formatting retries with Reserve(capacity + 32); no auto-trim.
  void Format(const std::string& out) {
    while (capacity < out.size() + 1) capacity = CapacityFor(capacity + 32);
    text = out;
  }
};

class TStrDriver {
 public:
  explicit TStrDriver(uint32_t seed) : random_(seed) {}

  // One random operation on the string and on the model, then the check.
  void Step() {
    Operation();
    ASSERT_EQ(std::string(s_.CStr()), m_.text) << Trace();
    ASSERT_EQ(s_.Length(), m_.text.size()) << Trace();
    ASSERT_EQ(s_.Capacity(), m_.capacity) << Trace();
  }

 private:
  void Operation() {
    const unsigned op = Below(21), length = s_.Length(), x = Below(length + 2), y = Below(length + 2);
    const bool one = Below(2) == 0;
    const std::string t = Text();
    // For the operations whose texts lie in the string itself.
    const unsigned from = Below(length + 1), k = Below(length + 1);
    const std::string tail = m_.text.substr(from), other = m_.text.substr(k);
    const char* own = s_.CStr();
    op_ = op;
    BStrBase& base = s_;  // the growing operations through their virtual slots
    switch (op) {
      case 0: {  // the forms of assignment
        const unsigned form = Below(4), maxLen = form == 0 && one ? Below(6) : 0;
        const BStr other(t.c_str());
        return Both([&] { m_.Assign(t, maxLen); },
                    [&] {
                      form == 0   ? base.Assign(t.c_str(), maxLen)
                      : form == 1 ? (void)(s_ = t.c_str())
                      : form == 2 ? (void)(s_ = BStr(t.c_str()))
                                  : (void)(s_ = other);
                    });
      }
      case 1: {
        const unsigned n = one ? 0 : Below(unsigned(t.size()) + 1);
        return Both([&] { m_.Insert(t, x, n); }, [&] { base.Insert(t.c_str(), x, n); });
      }
      case 2: {  // a null text appends nothing; an empty BStr skips even the auto-trim
        const unsigned form = Below(4);
        return Both(
            [&] { form == 0 ? m_.AppendString("") : m_.Append(form == 1 ? "" : t); },
            [&] { form == 0 ? (void)s_.Append(BStr()) : (void)(s_ += form == 1 ? nullptr : t.c_str()); });
      }
      case 3: {
        const unsigned pos = Below(4) == 0 ? 0xFFFFFFF0u + Below(16) : x;
        const unsigned n = Below(4) == 0 ? 0xFFFFFFFFu - Below(16) : y;
        return Both([&] { m_.Delete(pos, n); }, [&] { s_.Delete(pos, n); });
      }
      case 4: return Both([&] { m_.CutTail(x); }, [&] { s_.CutTail(x); });
      case 5: {
        const unsigned which = Below(3);
        return Both(
            [&] {
              which != 0 ? m_.TrimRight() : void();
              which != 1 ? m_.TrimLeft() : void();
            },
            [&] { which == 0   ? s_.TrimLeft()
                  : which == 1 ? s_.TrimRight()
                               : s_.Trim(); });
      }
      case 6: return Both([&] { m_.Unquote(); }, [&] { s_.Unquote(); });
      case 7: {
        const unsigned n = one ? Below(200) : Below(2) == 0 ? 0x7FFFFFC1u + Below(0x3E) : 0xFFFFFFFFu;
        return Both([&] { m_.Reserve(n); }, [&] { s_.Reserve(n); });
      }
      case 8: {
        const std::string what = Text(3), with = Text(4);
        const int flags = int(Below(2)) | (Below(3) != 0 ? kReplaceAll : 0);
        return Both([&] { count_ = m_.Replace(what, with, x, flags); },
                    [&] { return s_.Replace(what.c_str(), with.c_str(), x, flags); });
      }
      case 9: {
        const std::string what = Text(3);
        EXPECT_EQ(s_.Find(what.c_str(), x, one), m_.Find(what, x, one)) << Trace() << " find " << what;
        return;
      }
      case 10: {
        const unsigned n = Below(100000);
        const double d = Below(2000) / 8.0;
        char out[256];
        std::snprintf(out, sizeof out, "%s|%u|%.3f|%c", t.c_str(), n, d, 'z');
        return Both([&] { m_.Format(out); }, [&] { base.Format("%s|%u|%.3f|%c", t.c_str(), n, d, 'z'); });
      }
      case 11: return Both([&] { m_.text.clear(); }, [&] { s_.Clear(); });
      case 12: return s_.SetFlags(m_.flags = Below(4));
      case 13: {
        const int mode = int(Below(6));
        return Both([&] { m_.ChangeCase(mode, x, y); }, [&] { s_.ChangeCase(mode, x, y); });
      }
      case 14: {  // prefix comparisons are byte-wise; a text equals itself only
        const std::string u = t.substr(0, Below(3));
        auto lower = [](std::string v) {
          for (char& c : v) c = TStrModel::Lower(c);
          return v;
        };
        const int bytes = SignOf(m_.text.compare(0, u.size(), u));
        const int noCase = SignOf(lower(m_.text).compare(0, u.size(), lower(u)));
        EXPECT_EQ(SignOf(s_.Compare(u.c_str(), kPrefix)), bytes) << Trace() << " against " << u;
        EXPECT_EQ(SignOf(s_.Compare(BStr(u.c_str()), kPrefix | kIgnoreCase)), noCase)
            << Trace() << " against " << u;
        EXPECT_TRUE(s_ == m_.text.c_str() && s_.Compare(m_.text.c_str(), 0) == 0) << Trace();
        EXPECT_FALSE(s_ == (m_.text + t + "b").c_str()) << Trace();
        return;
      }
      case 15: {  // concatenation builds a new string, assigned back; a copy owns its characters
        Both([&] { m_.Assign(m_.text + t + "-", 0); }, [&] { s_ = s_ + t.c_str() + "-"; });
        BStr copy(s_);
        copy.Append("!");
        EXPECT_EQ(std::string(copy.CStr()), m_.text + "!") << Trace();
        return;
      }
      case 16: {  // a moved-from string is empty, without buffer, and usable
        BStr moved(std::move(s_));
        EXPECT_EQ(std::string(moved.CStr()), m_.text) << Trace();
        m_.text.clear();
        m_.capacity = 0;
        return;
      }
      case 17:
        return Both([&] { one ? m_.AppendString(m_.text) : m_.Append(tail); },
                    [&] { one ? (void)(s_ += s_) : (void)(s_ += own + from); });
      case 18: {
        const unsigned n = Below(unsigned(tail.size()) + 1);
        return Both([&] { m_.Insert(tail, x, n); }, [&] { base.Insert(own + from, x, n); });
      }
      case 19:
        return Both([&] { one ? m_.Assign(tail, 0) : m_.Format(m_.text + "-" + tail); },
                    [&] { one ? (void)(s_ = own + from) : s_.Format("%s-%s", own, own + from); });
      default: {
        const int flags = int(Below(2)) | (Below(2) != 0 ? kReplaceAll : 0);
        const unsigned start = one ? 0 : Below(length + 1);
        return Both([&] { count_ = m_.Replace(tail, other, start, flags); },
                    [&] { return s_.Replace(own + from, own + k, start, flags); });
      }
    }
  }

  // Runs the operation on the model and on the string: the same report
  // raised (a raising operation leaves the model as it was), the same count
  // where the operation returns one.
  template <class ModelOp, class StringOp>
  void Both(ModelOp model, StringOp op) {
    const TStrModel before = m_;
    std::string expected;
    count_ = 0;
    try {
      model();
    } catch (const std::string& what) {
      m_ = before;
      expected = what;
    }
    unsigned count = 0;
    const std::string actual = Raised([&] {
      if constexpr (std::is_void_v<decltype(op())>) {
        op();
      } else {
        count = op();
      }
    });
    EXPECT_EQ(actual, expected) << Trace();
    EXPECT_EQ(count, count_) << Trace();
  }
  unsigned Below(unsigned n) { return n == 0 ? 0 : unsigned(random_() % n); }
  std::string Text(unsigned maxLength = 6) {
    static const char kAlphabet[] = {' ', '\t', 'a', 'b', 'A', 'B', '"', '-', '1', '\r'};
    std::string t;
    const unsigned n = Below(maxLength + 1);
    for (unsigned i = 0; i < n; ++i) t += kAlphabet[Below(sizeof kAlphabet)];
    if (Below(8) == 0) t += std::string(Below(70), 'a');  // past a capacity step
    return t;
  }
  std::string Trace() const { return "after operation " + std::to_string(op_) + " on \"" + m_.text + "\""; }

  std::mt19937 random_;
  BStr s_;
  TStrModel m_;
  unsigned count_ = 0;  // the count the model's operation returned
  unsigned op_ = 0;     // the last operation; the seed and step name the sequence
};

// ---------------------------------------------------------------------------
// TPtrArray

// An item whose Compare answers with any magnitude, as the contract allows;
// `id` tells equal items apart. Live items are counted.
struct TModelItem {
  TModelItem(int k, int id, int scale) : key(k), id(id), scale(scale) { ++live; }
  ~TModelItem() { --live; }
  int Compare(const TModelItem* other, int) const { return (key - other->key) * scale; }
  int key, id, scale;
  static int live;
};
int TModelItem::live = 0;

class TTableDriver {
 public:
  using TTable = TPtrArray<TModelItem>;
  struct TEntry {
    int key, id;
    bool operator==(const TEntry& o) const { return key == o.key && id == o.id; }
  };

  explicit TTableDriver(uint32_t seed)
      : random_(seed),
        sorted_(Below(3) != 0),
        unique_(sorted_ && Below(2) == 0),
        granularity_(std::vector<unsigned>{1, 3, 64}[Below(3)]),
        scale_(std::vector<int>{1, 7, 1000}[Below(3)]),
        table_(sorted_ ? 1 : 0, unique_ ? TTable::kUnique : 0, granularity_) {}

  void Step() {
    const unsigned count = unsigned(model_.size());
    std::string expected, actual;
    switch (Below(6)) {
      case 0:
      case 1: {
        auto* item = new TModelItem(int(Below(40)), nextId_++, scale_);
        if (count == capacity_) capacity_ = unsigned(RoundUp(count + 1));  // even when refused
        const unsigned pos = sorted_ ? InsertPosition(item->key) : count;
        const bool refused = unique_ && count != 0 && model_[pos == count ? count - 1 : pos].key == item->key;
        if (!refused) model_.insert(model_.begin() + pos, {item->key, item->id});
        const bool stored = table_.Add(item);
        if (!stored) delete item;
        EXPECT_EQ(stored, !refused);
        break;
      }
      case 2: {
        std::unique_ptr<TModelItem> item(new TModelItem(int(Below(40)), nextId_++, scale_));
        const unsigned index = Below(count + 2);
        if (Below(8) == 0) {
          expected = Report("EInvalidArgument(item==NULL)", kGenSource, kLinePtrArrayAdd);
          actual = Raised([&] { table_.Add(nullptr); });
        } else if (sorted_) {
          return;
        } else if (index > count) {
          expected = OutOfRange(kGenSource, kLinePtrArrayInsertAt, index, count);
          actual = Raised([&] { table_.InsertAt(item.get(), index); });
        } else {
          if (count == capacity_) capacity_ = unsigned(RoundUp(count + 1));
          model_.insert(model_.begin() + index, {item->key, item->id});
          EXPECT_EQ(table_.InsertAt(item.release(), index), index);
        }
        break;
      }
      case 3: {
        const unsigned n = Below(3) == 0 ? 0xFFFFFFFFu - Below(200) : Below(300);
        bool changed = false;
        if (n > count && n != capacity_) {
          if (RoundUp(n) > UINT32_MAX / sizeof(void*)) {
            expected = BadAlloc(kGenSource, kLinePtrArrayGrow, n);
          } else {
            capacity_ = unsigned(RoundUp(n));
            changed = true;
          }
        }
        bool result = false;
        actual = Raised([&] { result = table_.Reserve(n); });
        EXPECT_EQ(result, changed) << "Reserve(" << n << ")";
        break;
      }
      case 4: {
        const unsigned index = Below(count + 1);
        if (index == count) expected = OutOfRange(kGenSource, kLinePtrArrayAt, index, count);
        actual = Raised([&] { table_.At(index); });
        if (sorted_) CheckSearches();
        break;
      }
      default: CheckCursor(); break;
    }
    EXPECT_EQ(actual, expected);
    ASSERT_EQ(table_.Count(), model_.size());
    ASSERT_EQ(table_.Capacity(), capacity_);
    for (unsigned i = 0; i < model_.size(); ++i) {
      ASSERT_EQ((TEntry{table_.At(i)->key, table_.At(i)->id}), model_[i]) << "index " << i;
    }
  }

 private:
  unsigned Below(unsigned n) { return n == 0 ? 0 : unsigned(random_() % n); }
  uint64_t RoundUp(unsigned n) const {
    const unsigned rest = n % granularity_;
    return rest == 0 ? n : uint64_t(n) - rest + granularity_;
  }
  int Cmp(int key, unsigned index) const { return SignOf(key - model_[index].key); }

  // The insertion point of a sorted Add: after the last item when above it,
  // else probes three fifths of the way from lo to hi, ending at an equal
  // item or where hi meets lo.
  unsigned InsertPosition(int key) const {
    const unsigned count = unsigned(model_.size());
    if (count < 2) return count == 0 || Cmp(key, 0) < 0 ? 0 : 1;
    if (Cmp(key, count - 1) > 0) return count;
    unsigned hi = count - 1, lo = 0, pos = hi * 3 / 5;
    for (;;) {
      const int r = Cmp(key, pos);
      if (r == 0) return pos;
      (r < 0 ? hi : lo) = r < 0 ? pos : pos + 1;
      pos = (hi * 3 + lo * 2) / 5;
      if (hi == lo) return pos;
    }
  }

  // Every relation for a key of every kind, through Search and SearchBy; the
  // relations other than equality name one index only without duplicates.
  void CheckSearches() {
    const int key = int(Below(42)) - 1;
    const TModelItem probe(key, -1, scale_);
    auto below = [&](const TEntry& e) { return e.key < key; };
    const long first = std::find_if_not(model_.begin(), model_.end(), below) - model_.begin();
    const long after =
        std::find_if(model_.begin(), model_.end(), [&](const TEntry& e) { return e.key > key; }) -
        model_.begin();
    unsigned index = 0;
    const bool present = first != after;
    ASSERT_EQ(table_.Search(&index, &probe, kEqual), present) << "key " << key;
    EXPECT_TRUE(!present || model_[index].key == key) << "key " << key << " at " << index;
    EXPECT_EQ(table_.SearchBy(nullptr, kEqual, [&](const TModelItem* i) { return i->key - key; }), present);
    if (!unique_) return;
    const long wanted[] = {first - 1, after - 1, -1, first, after};
    for (int relation : {kLastBelow, kLastBelowOrEqual, kFirstAboveOrEqual, kFirstAbove}) {
      const long w = wanted[relation];
      const bool exists = w >= 0 && w < long(model_.size());
      index = 0xFFFF;
      ASSERT_EQ(table_.Search(&index, &probe, relation), exists) << "key " << key << " relation " << relation;
      EXPECT_TRUE(!exists || long(index) == w)
          << "key " << key << " relation " << relation << " at " << index;
    }
  }

  // A walk sees every item once and ends on the last; past the end Current() raises.
  void CheckCursor() {
    TPtrArrayIter<TModelItem> it(table_);
    std::vector<TEntry> seen;
    EXPECT_EQ(it.First(0), !model_.empty());
    for (; it.Valid(); it.Next()) seen.push_back({it.Current()->key, it.Current()->id});
    EXPECT_EQ(seen, model_);
    const unsigned count = unsigned(model_.size());
    EXPECT_EQ(it.Cursor(), count == 0 ? 0 : count - 1);
    const unsigned start = Below(count + 2);
    EXPECT_EQ(it.First(start), start < count);
    EXPECT_EQ(it.Valid(), start < count);
    const std::string raised = Raised([&] { it.Current(); });
    EXPECT_EQ(raised, start < count ? "" : OutOfRange(kGenSource, kLineIterCurrent, start, count));
  }

  std::mt19937 random_;
  bool sorted_;
  bool unique_;
  unsigned granularity_;
  int scale_;
  TTable table_;
  std::vector<TEntry> model_;
  unsigned capacity_ = 0;
  int nextId_ = 0;
};

// Runs 200 steps of a driver for each seed; no table item outlives its
// driver (the table deletes what it owns).
template <class Driver>
void RunSeeds(uint32_t seeds) {
  for (uint32_t seed = 1; seed <= seeds; ++seed) {
    {
      Driver driver(seed);
      for (int step = 0; step < 200; ++step) {
        driver.Step();
        if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << ", step " << step;
      }
    }
    ASSERT_EQ(TModelItem::live, 0) << "seed " << seed;
  }
}

TEST(BStrModelTest, RandomOperationSequencesAgreeWithTheModel) { RunSeeds<TStrDriver>(300); }
TEST(PtrArrayModelTest, RandomOperationSequencesAgreeWithTheModel) { RunSeeds<TTableDriver>(200); }

}  // namespace
}  // namespace yx

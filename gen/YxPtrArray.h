// TPtrArray: a growable table of owned item pointers, and TPtrArrayIter, a
// cursor over one.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>

#include "YxException.h"

namespace yx {

// Lines that the reports of the table's and the cursor's raise sites carry.
inline constexpr unsigned kLinePtrArrayAdd = 963;
inline constexpr unsigned kLinePtrArrayInsertAt = 1012;
inline constexpr unsigned kLinePtrArrayGrow = 1053;
inline constexpr unsigned kLineIterCurrent = 1081;
inline constexpr unsigned kLinePtrArrayAt = 1099;

// TPtrArray: a growable table of owned item pointers, unsorted (mode 0) or
// sorted by the items' Compare. With flag kUnique an item equal to the one
// at its insertion point is refused. Ordered searches split the index range
// at three fifths.
//
// Item contract: T provides `int Compare(const T* other, int mode) const`
// whose sign tells whether this item lies below (negative), at (zero) or
// above (positive) `other` under `mode`; any negative or positive value
// will do. The signs must form a total order: a->Compare(b) and
// b->Compare(a) have opposite signs (both zero for equal items), and the
// order is transitive. Debug builds check the first rule at every insertion.
//
// Invariants between calls:
//   - Count() <= Capacity(); the capacity is a multiple of the granularity;
//     the pointer table exists exactly when the capacity is not 0;
//   - the first Count() slots hold the owned items, none of them null;
//   - in a sorted table (mode != 0) the items ascend: no item compares
//     above the one after it, and in a unique table each compares below the
//     one after it. Add keeps this; InsertAt stores where it is told, so a
//     caller of InsertAt on a sorted table keeps the order itself.

// Relations of Search, for a table sorted ascending.
enum TSearchRelation : int {
  kLastBelow = 0,
  kLastBelowOrEqual = 1,
  kEqual = 2,
  kFirstAboveOrEqual = 3,
  kFirstAbove = 4,
};

template <class T>
class TPtrArray : public TYxBsMem {
 public:
  static constexpr unsigned kUnique = 0x80;

  TPtrArray(int mode, unsigned flags, unsigned granularity)
      : flags_(flags), granularity_(granularity == 0 ? 1 : granularity), mode_(mode) {}
  TPtrArray(const TPtrArray&) = delete;
  TPtrArray& operator=(const TPtrArray&) = delete;
  ~TPtrArray() override { Clear(); }

  // Deletes every item, last first, and releases the table.
  void Clear() {
    while (count_ != 0) {
      --count_;
      delete items_[count_];
    }
    HeapMemFree(items_);
    items_ = nullptr;
    capacity_ = 0;
  }

  // Stores `item` (the table then owns it) and returns true, or refuses an
  // item equal to an existing one in a unique table and returns false (the
  // caller still owns it). Raises EInvalidArgument for a null item.
  bool Add(T* item) {
    if (item == nullptr) throw EInvalidArgument(kGenSource, kLinePtrArrayAdd, "item==NULL");
    if (count_ == capacity_) Grow(count_ + 1);
    if (mode_ == 0) {
      items_[count_++] = item;
      AssertInvariants();
      return true;
    }
    unsigned pos = InsertPosition(item);
    assert(pos == 0 || ConsistentCompare(item, items_[pos - 1]) >= 0);
    assert(pos == count_ || ConsistentCompare(item, items_[pos]) <= 0);
    if ((flags_ & kUnique) != 0 && count_ != 0 &&
        item->Compare(items_[pos == count_ ? count_ - 1 : pos], mode_) == 0) {
      return false;
    }
    InsertAt(item, pos);
    return true;
  }

  // Stores `item` (not null; the table then owns it) at `index`, moving the
  // items from there up by one. Raises EOutOfRange when index > Count().
  unsigned InsertAt(T* item, unsigned index) {
    assert(item != nullptr);
    if (index > count_) throw EOutOfRange(kGenSource, kLinePtrArrayInsertAt, index, count_);
    if (count_ == capacity_) Grow(count_ + 1);
    std::memmove(items_ + index + 1, items_ + index, (count_ - index) * sizeof(T*));
    items_[index] = item;
    ++count_;
    AssertInvariants();
    return index;
  }

  // Sets the capacity to `n` rounded up to the granularity, never below
  // Count() + 1; false when n <= Count() or n == Capacity(). Raises
  // EBadAlloc when the table would not fit the heap's 32-bit sizes.
  bool Reserve(unsigned n) {
    if (n <= count_ || n == capacity_) return false;
    Resize(RoundUp(n), n);
    AssertInvariants();
    return true;
  }

  // Raises EOutOfRange unless index < Count().
  T* At(unsigned index) const {
    if (index >= count_) throw EOutOfRange(kGenSource, kLinePtrArrayAt, index, count_);
    return items_[index];
  }

  // Ordered search of a sorted table for the index that `relation` asks for;
  // each probe asks the stored item Compare(key, mode).
  bool Search(unsigned* foundIndex, const T* key, int relation) const {
    return SearchBy(foundIndex, relation, [&](const T* item) { return item->Compare(key, mode_); });
  }

  // The same search with a probe function: the sign of probe(item) tells
  // whether the item lies below (negative), at (zero) or above (positive)
  // the key. Lets a caller search by a key that is not an item.
  template <class Probe>
  bool SearchBy(unsigned* foundIndex, int relation, Probe probe) const;

  unsigned Count() const { return count_; }
  unsigned Capacity() const { return capacity_; }
  int Mode() const { return mode_; }

 private:
  static int SignOf(int r) { return (r > 0) - (r < 0); }

  // `n` rounded up to the granularity, computed without wrapping.
  uint64_t RoundUp(unsigned n) const {
    const unsigned rest = n % granularity_;
    return rest == 0 ? n : uint64_t(n) - rest + granularity_;
  }

  void Grow(unsigned n) { Resize(RoundUp(n), n); }

  // The sign of a->Compare(b); debug builds check it against the sign of
  // b->Compare(a).
  int ConsistentCompare(const T* a, const T* b) const {
    const int r = SignOf(a->Compare(b, mode_));
#ifndef NDEBUG
    const int back = SignOf(b->Compare(a, mode_));
    assert(r == -back);
#endif
    return r;
  }

  // The size invariants, checked in debug builds after every change.
  void AssertInvariants() const {
    assert(count_ <= capacity_);
    assert(capacity_ % granularity_ == 0);
    assert((items_ == nullptr) == (capacity_ == 0));
    assert(count_ == 0 || items_[count_ - 1] != nullptr);
  }

  // Resizes the pointer table; `requested` goes into the report of a
  // failure. A table whose size in bytes does not fit the heap's 32-bit
  // sizes raises, leaving the table as it was.
  void Resize(uint64_t newCapacity, unsigned requested) {
    if (newCapacity > UINT32_MAX / sizeof(T*)) throw EBadAlloc(kGenSource, kLinePtrArrayGrow, requested);
    void* table = HeapMemRealloc(items_, unsigned(newCapacity * sizeof(T*)));
    if (table == nullptr) throw EBadAlloc(kGenSource, kLinePtrArrayGrow, requested);
    items_ = static_cast<T**>(table);
    capacity_ = unsigned(newCapacity);
  }

  // Where a sorted Add puts `item`: after equal items when the table holds
  // one item, otherwise where the three-fifths probing meets an equal one.
  unsigned InsertPosition(const T* item) const {
    if (count_ == 0) return 0;
    if (count_ == 1) return item->Compare(items_[0], mode_) < 0 ? 0 : 1;
    if (item->Compare(items_[count_ - 1], mode_) > 0) return count_;
    unsigned hi = count_ - 1, lo = 0;
    unsigned pos = (hi * 3) / 5;
    for (;;) {
      const int r = item->Compare(items_[pos], mode_);
      if (r == 0) return pos;
      if (r < 0) hi = pos;
      if (r > 0) lo = pos + 1;
      pos = (hi * 3 + lo * 2) / 5;
      if (hi <= lo) return pos;
    }
  }

  // Whether a probe result (any sign) satisfies a search relation.
  static bool Satisfies(int result, int relation) {
    const int r = SignOf(result);
    switch (relation) {
      case kLastBelow: return r == -1;
      case kLastBelowOrEqual: return r == -1 || r == 0;
      case kEqual: return r == 0;
      case kFirstAboveOrEqual: return r == 0 || r == 1;
      case kFirstAbove: return r == 1;
      default: return false;
    }
  }

  T** items_ = nullptr;
  unsigned flags_;
  unsigned capacity_ = 0;
  unsigned granularity_;
  unsigned count_ = 0;
  int mode_;
};

template <class T>
template <class Probe>
bool TPtrArray<T>::SearchBy(unsigned* foundIndex, int relation, Probe probe) const {
  auto found = [&](unsigned index) {
    if (foundIndex != nullptr) *foundIndex = index;
    return true;
  };
  if (count_ == 0) return false;
  if (count_ == 1) return Satisfies(probe(items_[0]), relation) && found(0);
  unsigned hi = count_ - 1, lo = 0;
  do {
    const unsigned mid = (hi * 3 + lo * 2) / 5;
    const int r = probe(items_[mid]);
    if (r > 0) hi = mid;
    if (r < 0) lo = mid;
    if (r == 0) {
      switch (relation) {
        case kLastBelow: return mid != 0 && found(mid - 1);
        case kFirstAbove: return mid != count_ - 1 && found(mid + 1);
        case kLastBelowOrEqual:
        case kEqual:
        case kFirstAboveOrEqual: return found(mid);
        default: return false;
      }
    }
  } while (hi - lo > 1);
  const bool loOk = Satisfies(probe(items_[lo]), relation);
  const bool hiOk = Satisfies(probe(items_[hi]), relation);
  switch (relation) {
    case kLastBelow:
    case kLastBelowOrEqual: return hiOk ? found(hi) : loOk && found(lo);
    default: return loOk ? found(lo) : hiOk && found(hi);
  }
}

// A cursor over a TPtrArray: First(0), then while Valid(): Current(), Next().
template <class T>
class TPtrArrayIter : public TYxBsMem {
 public:
  explicit TPtrArrayIter(const TPtrArray<T>& array) : array_(&array) {}

  bool First(unsigned index) {
    cursor_ = index;
    const bool empty = array_->Count() == 0;
    beforeFirst_ = afterLast_ = empty;
    return !empty && index < array_->Count();
  }

  bool Valid() {
    const unsigned count = array_->Count();
    if (cursor_ > 0 && cursor_ < count) beforeFirst_ = false;
    if (count != 0 && cursor_ < count - 1) afterLast_ = false;
    return count != 0 && cursor_ < count && !beforeFirst_ && !afterLast_;
  }

  // Raises EOutOfRange when the cursor is not below the count.
  T* Current() const {
    if (cursor_ >= array_->Count()) throw EOutOfRange(kGenSource, kLineIterCurrent, cursor_, array_->Count());
    return array_->At(cursor_);
  }

  void Next() {
    if (array_->Count() != 0 && cursor_ == array_->Count() - 1) {
      afterLast_ = true;
    } else {
      ++cursor_;
      afterLast_ = false;
    }
  }

  unsigned Cursor() const { return cursor_; }

 private:
  const TPtrArray<T>* array_;
  unsigned cursor_ = 0;
  bool beforeFirst_ = true;
  bool afterLast_ = true;
};

}  // namespace yx

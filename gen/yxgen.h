// yxgen: the general header of the foundation library.
//
// The root class TYxBsMem and the process-heap functions, the heap block
// classes, the exception classes with their report texts, the containers
// TArray, TPtrArray and TPtrArrayIter, and the text and number functions.
//
// Two kinds of failure, never mixed: misuse of an operation (an index out of
// range, a null item, a zero element count, a failed table growth) raises
// one of the EException classes naming this header and a fixed line; an
// operating-system failure is never raised but returned as a Windows error
// code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace yx {

// Source names and lines that the reports of the raise sites carry.
inline constexpr const char kGenSource[] = "yxgen";
inline constexpr unsigned kLineArrayResize = 634;
inline constexpr unsigned kLineArrayAt = 641;
inline constexpr unsigned kLinePtrArrayAdd = 963;
inline constexpr unsigned kLinePtrArrayInsertAt = 1012;
inline constexpr unsigned kLinePtrArrayGrow = 1053;
inline constexpr unsigned kLineIterCurrent = 1081;
inline constexpr unsigned kLinePtrArrayAt = 1099;
// Exhausted memory in the process-heap functions.
inline constexpr unsigned kLineHeapMem = 52;

// ---------------------------------------------------------------------------
// Process heap

// A new block of `bytes` bytes; never null (exhausted memory raises
// EBadAlloc).
void* HeapMemAlloc(unsigned bytes);
// 0 on success, else the system's error code.
unsigned HeapMemFree(const void* block);
// Resizes `block`, content preserved; a null block allocates. Exhausted
// memory raises EBadAlloc and leaves the block as it was.
void* HeapMemRealloc(const void* block, unsigned bytes);
// The size of `block` in bytes.
unsigned HeapMemSize(const void* block);

// Root class of every class of the system: a virtual destructor, and objects
// created with `new` live on the process heap.
class TYxBsMem {
 public:
  TYxBsMem() = default;
  TYxBsMem(const TYxBsMem&) = default;
  TYxBsMem& operator=(const TYxBsMem&) = default;
  virtual ~TYxBsMem() = default;

  static void* operator new(std::size_t bytes);
  static void* operator new[](std::size_t bytes);
  static void operator delete(void* block) noexcept;
  static void operator delete[](void* block) noexcept;
};

// Owns at most one process-heap block and knows its size.
// INVARIANT: ptr_ == nullptr exactly when size_ == 0 and no block is held,
// except for a block of 0 bytes, which is held with size_ 0.
class THeapBlock : public TYxBsMem {
 public:
  THeapBlock() = default;
  explicit THeapBlock(unsigned bytes) { Alloc(bytes); }
  THeapBlock(const THeapBlock&) = delete;
  THeapBlock& operator=(const THeapBlock&) = delete;
  ~THeapBlock() override;

  // A new block of `bytes`; the old block, if any, is released first (its
  // content is not kept).
  void* Alloc(unsigned bytes);
  // Resizes the block, content preserved up to the smaller size.
  void* Realloc(unsigned bytes);
  // Releases the block; always 0.
  unsigned Free();
  unsigned Size() const { return size_; }
  void* Ptr() const { return ptr_; }
  // Exchanges the blocks of two objects.
  void Swap(THeapBlock& other) noexcept;

 protected:
  void* ptr_ = nullptr;
  unsigned size_ = 0;
};

// A heap block holding characters: the storage of BStr and EException.
class TCharBuffer : public THeapBlock {
 public:
  TCharBuffer() = default;
  explicit TCharBuffer(unsigned bytes) : THeapBlock(bytes) {}
  // A block of the same size with the same bytes.
  TCharBuffer(const TCharBuffer& other);
  TCharBuffer& operator=(const TCharBuffer&) = delete;
  ~TCharBuffer() override = default;

  char* Chars() const { return static_cast<char*>(ptr_); }
};

// ---------------------------------------------------------------------------
// Exceptions

// The report is "[text] 'file' line N " (with a trailing space).
class EException : public TYxBsMem {
 public:
  EException(const char* file, unsigned line, const char* text);
  EException(const EException& other) = default;
  EException& operator=(const EException&) = delete;
  ~EException() override = default;

  virtual const char* What() const;

 private:
  TCharBuffer message_;
};

// Report text "EInvalidArgument(text)".
class EInvalidArgument : public EException {
 public:
  EInvalidArgument(const char* file, unsigned line, const char* text);
};

// Report text "EOutOfRange(idx=index,cnt=count)", numbers unsigned decimal.
class EOutOfRange : public EException {
 public:
  EOutOfRange(const char* file, unsigned line, unsigned index, unsigned count);
};

// Report text "EBadAlloc(sz=size)".
class EBadAlloc : public EException {
 public:
  EBadAlloc(const char* file, unsigned line, unsigned size);
};

// ---------------------------------------------------------------------------
// Text and number functions (zero-terminated texts in the user's ANSI code
// page; letters and order from the user's locale)

// Capitalises in place: mode 2 each word, mode 3 only the first letter of
// the range; count 0 means the whole text.
void Capitalize(char* text, int mode, unsigned count);
// Locale comparison of two characters; flags bit 0 ignores case.
int CompareChar(char a, char b, int flags);
// Text comparison; flags bit 0 ignores case, bit 1 compares only the first
// lstrlen(b) characters (byte-wise, or ASCII case-insensitive with bit 0).
// Null counts as the empty text against null or empty, else as smaller.
int CompareText(const char* a, const char* b, int flags);
// -1, 0 or 1.
int Sign(int value);
// Copies src[start..] into dest, at most count characters (0: strlen(src)).
// REQUIRES: start <= strlen(src); dest holds the result and its zero.
void CopySubstring(char* dest, const char* src, unsigned start, unsigned count);
// First position >= start of `what` in `text`, or -1; an empty `what` is
// never found. REQUIRES: start <= strlen(text).
int FindSubstring(const char* text, const char* what, unsigned start);
// A copy of `text` on the process heap (release with HeapMemFree); null for
// null.
char* HeapStrDup(const char* text);
// Rounds halves away from zero.
double RoundHalfAway(double value);

// ---------------------------------------------------------------------------
// TArray: a fixed number of elements chosen at run time, bounds-tested.

template <class T>
class TArray : public TYxBsMem {
 public:
  TArray() = default;
  TArray(const TArray&) = delete;
  TArray& operator=(const TArray&) = delete;
  ~TArray() override { Release(); }

  // Replaces the elements by `n` new ones (default-initialised).
  // Raises EInvalidArgument for n == 0, leaving the array empty.
  T* Resize(unsigned n) {
    Release();
    if (n == 0) throw EInvalidArgument(kGenSource, kLineArrayResize, "cnt==0");
    items_ = new T[n];
    count_ = n;
    return items_;
  }

  // Raises EOutOfRange unless i < Count().
  T& At(unsigned i) const {
    if (count_ == 0 || i > count_ - 1) throw EOutOfRange(kGenSource, kLineArrayAt, i, count_);
    return items_[i];
  }

  unsigned Count() const { return count_; }

 private:
  void Release() {
    if (count_ != 0) delete[] items_;
    items_ = nullptr;
    count_ = 0;
  }

  T* items_ = nullptr;
  unsigned count_ = 0;
};

// ---------------------------------------------------------------------------
// TPtrArray: a growable table of owned item pointers, unsorted (mode 0) or
// sorted by the items' Compare(const T* other, int mode), which must return
// exactly -1, 0 or 1. With flag kUnique an item equal to the one at its
// insertion point is refused. Ordered searches split the index range at
// three fifths.

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
      return true;
    }
    unsigned pos = InsertPosition(item);
    if ((flags_ & kUnique) != 0 && count_ != 0 &&
        item->Compare(items_[pos == count_ ? count_ - 1 : pos], mode_) == 0) {
      return false;
    }
    InsertAt(item, pos);
    return true;
  }

  // Stores `item` at `index`, moving the items from there up by one.
  // Raises EOutOfRange when index > Count().
  unsigned InsertAt(T* item, unsigned index) {
    if (index > count_) throw EOutOfRange(kGenSource, kLinePtrArrayInsertAt, index, count_);
    if (count_ == capacity_) Grow(count_ + 1);
    std::memmove(items_ + index + 1, items_ + index, (count_ - index) * sizeof(T*));
    items_[index] = item;
    ++count_;
    return index;
  }

  // Sets the capacity to `n` rounded up to the granularity; false when
  // n <= Count() or n == Capacity().
  bool Reserve(unsigned n) {
    if (n <= count_ || n == capacity_) return false;
    Resize(RoundUp(n), n);
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

  // The same search with a probe function: probe(item) tells whether the
  // item lies below (-1), at (0) or above (1) the key. Lets a caller search
  // by a key that is not an item.
  template <class Probe>
  bool SearchBy(unsigned* foundIndex, int relation, Probe probe) const;

  unsigned Count() const { return count_; }
  unsigned Capacity() const { return capacity_; }
  int Mode() const { return mode_; }

 private:
  unsigned RoundUp(unsigned n) const {
    unsigned rest = n % granularity_;
    return rest == 0 ? n : n - rest + granularity_;
  }

  void Grow(unsigned n) { Resize(RoundUp(n), n); }

  // Resizes the pointer table; `requested` goes into the report of a failure.
  void Resize(unsigned newCapacity, unsigned requested) {
    if (newCapacity > UINT32_MAX / sizeof(T*)) throw EBadAlloc(kGenSource, kLinePtrArrayGrow, requested);
    void* table = HeapMemRealloc(items_, newCapacity * unsigned(sizeof(T*)));
    if (table == nullptr) throw EBadAlloc(kGenSource, kLinePtrArrayGrow, requested);
    items_ = static_cast<T**>(table);
    capacity_ = newCapacity;
  }

  // Where a sorted Add puts `item`: after equal items when the table holds
  // one item, otherwise where the three-fifths probing meets an equal one.
  unsigned InsertPosition(const T* item) const {
    if (count_ == 0) return 0;
    if (count_ == 1) return item->Compare(items_[0], mode_) == -1 ? 0 : 1;
    if (item->Compare(items_[count_ - 1], mode_) == 1) return count_;
    unsigned hi = count_ - 1, lo = 0;
    unsigned pos = (hi * 3) / 5;
    for (;;) {
      int r = item->Compare(items_[pos], mode_);
      if (r == 0) return pos;
      if (r == -1) hi = pos;
      if (r == 1) lo = pos + 1;
      pos = (hi * 3 + lo * 2) / 5;
      if (hi <= lo) return pos;
    }
  }

  static bool Satisfies(int r, int relation) {
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
    unsigned mid = (hi * 3 + lo * 2) / 5;
    int r = probe(items_[mid]);
    if (r == 1) hi = mid;
    if (r == -1) lo = mid;
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

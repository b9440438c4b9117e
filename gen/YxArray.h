// TArray: a fixed number of elements chosen at run time, bounds-tested.
#pragma once

#include "YxException.h"

namespace yx {

// Lines that the reports of TArray's raise sites carry.
inline constexpr unsigned kLineArrayResize = 634;
inline constexpr unsigned kLineArrayAt = 641;

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

}  // namespace yx

// The process heap: allocation functions, the root class TYxBsMem whose
// objects live on that heap, and the heap block classes THeapBlock and
// TCharBuffer.
#pragma once

#include <cstddef>

namespace yx {

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

}  // namespace yx

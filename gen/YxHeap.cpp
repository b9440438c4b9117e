// The process-heap functions, the root class's operators and the heap
// blocks.

#include "YxHeap.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "YxException.h"
#include "plat/Heap.h"

namespace yx {

namespace {

// The line that reports of exhausted memory in these functions carry.
constexpr unsigned kLineHeapMem = 52;

// Exhausted memory raises EBadAlloc. Its report text needs memory as well;
// when even that is not to be had, std::bad_alloc takes its place.
thread_local bool tReportingBadAlloc = false;

[[noreturn]] void RaiseBadAlloc(unsigned bytes) {
  if (tReportingBadAlloc) throw std::bad_alloc();
  tReportingBadAlloc = true;
  struct Reset {
    ~Reset() { tReportingBadAlloc = false; }
  } reset;
  throw EBadAlloc(kGenSource, kLineHeapMem, bytes);
}

}  // namespace

void* HeapMemAlloc(unsigned bytes) {
  void* block = plat::HeapAllocate(bytes);
  if (block == nullptr) RaiseBadAlloc(bytes);
  return block;
}
unsigned HeapMemFree(const void* block) { return plat::HeapRelease(block); }
void* HeapMemRealloc(const void* block, unsigned bytes) {
  void* moved = plat::HeapReallocate(const_cast<void*>(block), bytes);
  if (moved == nullptr) RaiseBadAlloc(bytes);
  return moved;
}
unsigned HeapMemSize(const void* block) { return plat::HeapBlockSize(block); }

namespace {

// The heap's sizes are 32-bit: a larger request (possible where size_t is
// wider) raises rather than being cut to a smaller block.
unsigned HeapSize32(std::size_t bytes) {
  if ((bytes >> 16 >> 16) != 0) throw EBadAlloc(kGenSource, kLineObjectNew, UINT32_MAX);
  return unsigned(bytes);
}

}  // namespace

void* TYxBsMem::operator new(std::size_t bytes) { return HeapMemAlloc(HeapSize32(bytes)); }
void* TYxBsMem::operator new[](std::size_t bytes) { return HeapMemAlloc(HeapSize32(bytes)); }
void TYxBsMem::operator delete(void* block) noexcept { HeapMemFree(block); }
void TYxBsMem::operator delete[](void* block) noexcept { HeapMemFree(block); }

THeapBlock::~THeapBlock() {
  if (ptr_ != nullptr) Free();
}

void* THeapBlock::Alloc(unsigned bytes) {
  if (ptr_ != nullptr) Free();
  ptr_ = HeapMemAlloc(bytes);
  if (ptr_ != nullptr) size_ = HeapMemSize(ptr_);
  return ptr_;
}

void* THeapBlock::Realloc(unsigned bytes) {
  void* block = HeapMemRealloc(ptr_, bytes);
  if (block != nullptr) {
    ptr_ = block;
    size_ = HeapMemSize(ptr_);
  }
  return block;
}

unsigned THeapBlock::Free() {
  HeapMemFree(ptr_);
  ptr_ = nullptr;
  size_ = 0;
  return 0;
}

void THeapBlock::Swap(THeapBlock& other) noexcept {
  std::swap(ptr_, other.ptr_);
  std::swap(size_, other.size_);
}

TCharBuffer::TCharBuffer(const TCharBuffer& other) : THeapBlock() {
  if (other.ptr_ == nullptr) return;
  Alloc(other.size_);
  std::memcpy(ptr_, other.ptr_, other.size_);
}

}  // namespace yx

// Process heap on POSIX: malloc with a small header that records the size
// asked for, so that HeapBlockSize reports it exactly as Windows does.
// Exhausted memory gives null.

#include "plat/Heap.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

// The header keeps the payload aligned for any type.
struct alignas(alignof(std::max_align_t)) Header {
  uint32_t size;
};

Header* HeaderOf(const void* block) { return const_cast<Header*>(static_cast<const Header*>(block) - 1); }

}  // namespace

void* HeapAllocate(uint32_t bytes) {
  auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + bytes));
  if (h == nullptr) return nullptr;
  h->size = bytes;
  return h + 1;
}

void* HeapReallocate(void* block, uint32_t bytes) {
  if (block == nullptr) return HeapAllocate(bytes);
  auto* h = static_cast<Header*>(std::realloc(HeaderOf(block), sizeof(Header) + bytes));
  if (h == nullptr) return nullptr;  // the old block stays as it was
  h->size = bytes;
  return h + 1;
}

uint32_t HeapRelease(const void* block) {
  if (block != nullptr) std::free(HeaderOf(block));
  return 0;
}

uint32_t HeapBlockSize(const void* block) { return block == nullptr ? 0 : HeaderOf(block)->size; }

}  // namespace plat

// Process heap on Windows: the default heap, with HEAP_GENERATE_EXCEPTIONS so
// that exhausted memory raises instead of returning null.

#include "plat/Heap.h"

#include <windows.h>

namespace plat {

void* HeapAllocate(uint32_t bytes) { return ::HeapAlloc(::GetProcessHeap(), HEAP_GENERATE_EXCEPTIONS, bytes); }

void* HeapReallocate(void* block, uint32_t bytes) {
  if (block == nullptr) return HeapAllocate(bytes);
  return ::HeapReAlloc(::GetProcessHeap(), HEAP_GENERATE_EXCEPTIONS, block, bytes);
}

uint32_t HeapRelease(const void* block) {
  if (block == nullptr) return 0;
  return ::HeapFree(::GetProcessHeap(), 0, const_cast<void*>(block)) ? 0 : ::GetLastError();
}

uint32_t HeapBlockSize(const void* block) {
  if (block == nullptr) return 0;
  return static_cast<uint32_t>(::HeapSize(::GetProcessHeap(), 0, block));
}

}  // namespace plat

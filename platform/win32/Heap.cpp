// Process heap on Windows: the default heap. Exhausted memory gives null (no
// HEAP_GENERATE_EXCEPTIONS: a structured exception would pass every C++
// handler and end the process).

#include "plat/Heap.h"

#include <windows.h>

namespace plat {

void* HeapAllocate(uint32_t bytes) { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }

void* HeapReallocate(void* block, uint32_t bytes) {
  if (block == nullptr) return HeapAllocate(bytes);
  return ::HeapReAlloc(::GetProcessHeap(), 0, block, bytes);
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

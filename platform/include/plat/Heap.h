// Process heap: the allocator of the foundation library's blocks and of the
// objects of its classes.
//
// Every block reports exactly the size that was asked for. Exhausted memory
// returns null, on both platforms, and raises nothing: the foundation
// library above turns it into its own exception.
#pragma once

#include <cstdint>

namespace plat {

// A new block of `bytes` bytes (0 is allowed and gives a valid block), or
// null when memory is exhausted.
void* HeapAllocate(uint32_t bytes);
// Resizes `block` to `bytes`, preserving the content up to the smaller size.
// A null block allocates. Null when memory is exhausted; the old block then
// stays valid.
void* HeapReallocate(void* block, uint32_t bytes);
// Releases `block`; returns 0, or a Windows error code. Null is accepted.
uint32_t HeapRelease(const void* block);
// The size of `block` in bytes as it was requested.
uint32_t HeapBlockSize(const void* block);

}  // namespace plat

// Open-file-description byte locks (F_OFD_SETLK), internal to the POSIX
// platform layer. Such a lock belongs to one open of a file, so it conflicts
// between two descriptors of one process as between processes, and the
// kernel drops it when the open file description is closed or its process
// dies. The share-mode emulation of files and the holder bookkeeping of
// named mutexes mark facts with them on bytes no data uses.
#pragma once

#include <sys/types.h>

namespace plat::detail {

// Applies a lock of `type` (F_RDLCK, F_WRLCK, F_UNLCK) to `count` bytes from
// `start`; `wait` blocks until it can be had. Returns 0 or the errno value.
int SetByteLock(int fd, short type, off_t start, off_t count, bool wait);

// Whether another open of the file holds a lock on the byte at `byte`, or
// on any of the `count` bytes from `start`. Returns 0 or the errno value.
int IsByteHeldElsewhere(int fd, off_t byte, bool* held);
int IsRangeHeldElsewhere(int fd, off_t start, off_t count, bool* held);

// Whether `err` is how a file system says it has no such locks.
bool ByteLocksUnsupported(int err);

}  // namespace plat::detail

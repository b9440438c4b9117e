// Open-file-description byte locks.

#include "ByteLock.h"

#include <fcntl.h>

#include <cerrno>

namespace plat::detail {

int SetByteLock(int fd, short type, off_t start, off_t count, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = count;
  while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int IsByteHeldElsewhere(int fd, off_t byte, bool* held) { return IsRangeHeldElsewhere(fd, byte, 1, held); }

int IsRangeHeldElsewhere(int fd, off_t start, off_t count, bool* held) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = count;
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return errno;
  *held = lock.l_type != F_UNLCK;
  return 0;
}

bool ByteLocksUnsupported(int err) {
  return err == EINVAL || err == ENOLCK || err == EOPNOTSUPP || err == EBADF;
}

}  // namespace plat::detail

// Files on POSIX: open, read, write, fsync and unlink with the semantics of
// the Windows file functions, Windows share modes included.
//
// Share modes are emulated with open-file-description locks (F_OFD_SETLK).
// Such a lock belongs to one open of the file, that is to one handle, so it
// conflicts between two handles of one process as it does between
// processes, and it vanishes when the handle is closed or its process dies.
// Five bytes far beyond any real file size (from kLockBase on) stand for the
// facts that sharing depends on, and every handle holds a shared lock on
// each byte that describes it:
//
//   kLockBase + 0  open for reading  (the access has kGenericRead)
//   kLockBase + 1  open for writing  (the access has kGenericWrite)
//   kLockBase + 2  denies reading    (the share mode lacks kFileShareRead)
//   kLockBase + 3  denies writing    (the share mode lacks kFileShareWrite)
//   kLockBase + 4  denies deleting   (the share mode lacks kFileShareDelete)
//
// Shared locks never conflict with each other, so taking them always works;
// an open finds a conflict by asking (F_OFD_GETLK for an exclusive lock)
// whether a lock of another handle lies on a byte its own facts oppose:
// reading against "denies reading", writing against "denies writing",
// denying reading against "open for reading", denying writing against "open
// for writing". It takes its own locks before it asks, so of two opens that
// exclude each other and run at the same moment at least one sees the other
// and fails; neither can miss the other. Both may fail, where Windows would
// let one through, so an open that meets a conflict drops its locks, pauses
// for a random fraction of a millisecond and tries again, a few times,
// before it reports 32 (ERROR_SHARING_VIOLATION).
//
// A handle with access 0 takes no locks and asks nothing: Windows exempts
// such query handles from sharing in both directions. DeleteFileByName asks
// for "denies deleting" before it unlinks. A shared lock needs a descriptor
// open for reading, so a handle with write access is opened read-write; on
// a file that the caller may write but not read, or on a file system
// without these locks, the handle is opened without share-mode emulation.

#include "plat/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>
#include <random>

#include "ByteLock.h"
#include "Clocks.h"
#include "ErrnoMap.h"
#include "plat/Error.h"
#include "plat/Process.h"

namespace plat {

struct FileObject {
  int fd;
  bool canRead;   // opened with kGenericRead
  bool canWrite;  // opened with kGenericWrite
};

namespace {

constexpr off_t kLockBase = static_cast<off_t>(0x7FFFFFFF00000000LL);
enum LockByte : int { kOpenForRead, kOpenForWrite, kDeniesRead, kDeniesWrite, kDeniesDelete, kLockBytes };
constexpr int kShareAttempts = 4;
constexpr uint32_t kGenericAll = 0x10000000u;

// A pause of 100 to 600 microseconds, different in each thread, so that two
// opens that failed each other do not meet again.
void PauseBeforeRetry() {
  thread_local std::minstd_rand random(CurrentThreadId());
  timespec pause = {0, static_cast<long>(100000 + random() % 500000)};
  nanosleep(&pause, nullptr);
}

// Whether a lock of another handle lies on a byte that opposes one of the
// handle's own facts. One question covers the span of all such bytes; only
// when something lies in it is each byte asked on its own (the span may
// hold a byte that opposes nothing of this handle).
int FindShareConflict(int fd, const bool* own, const int* opposed, bool* conflict) {
  *conflict = false;
  int low = kLockBytes;
  int high = -1;
  for (int byte = 0; byte < kLockBytes; ++byte) {
    if (!own[byte] || opposed[byte] < 0) continue;
    low = opposed[byte] < low ? opposed[byte] : low;
    high = opposed[byte] > high ? opposed[byte] : high;
  }
  if (high < 0) return 0;
  bool held = false;
  int err = detail::IsRangeHeldElsewhere(fd, kLockBase + low, high - low + 1, &held);
  if (err != 0 || !held) return err;
  for (int byte = 0; byte < kLockBytes && err == 0 && !*conflict; ++byte) {
    if (own[byte] && opposed[byte] >= 0)
      err = detail::IsByteHeldElsewhere(fd, kLockBase + opposed[byte], conflict);
  }
  return err;
}

// Takes the share-mode locks of a handle with the given access and share mode
// on `fd`, or returns 32 when another handle's locks forbid the open.
uint32_t TakeShareLocks(int fd, bool read, bool write, uint32_t share) {
  const bool own[kLockBytes] = {read, write, (share & kFileShareRead) == 0, (share & kFileShareWrite) == 0,
                                (share & kFileShareDelete) == 0};
  // The byte whose lock elsewhere conflicts with each fact (-1: none).
  const int opposed[kLockBytes] = {kDeniesRead, kDeniesWrite, kOpenForRead, kOpenForWrite, -1};
  for (int attempt = 0; attempt < kShareAttempts; ++attempt) {
    int err = 0;
    // One call for each run of adjacent own bytes.
    for (int byte = 0; byte < kLockBytes && err == 0;) {
      int end = byte;
      while (end < kLockBytes && own[end]) ++end;
      if (end > byte) err = detail::SetByteLock(fd, F_RDLCK, kLockBase + byte, end - byte, false);
      byte = end + 1;
    }
    // Asked only once every own lock is held (see the top of the file).
    bool conflict = false;
    if (err == 0) err = FindShareConflict(fd, own, opposed, &conflict);
    if (err != 0) {
      detail::SetByteLock(fd, F_UNLCK, kLockBase, kLockBytes, false);
      return detail::ByteLocksUnsupported(err) ? 0 : ErrorFromErrno(err);
    }
    if (!conflict) return 0;
    detail::SetByteLock(fd, F_UNLCK, kLockBase, kLockBytes, false);
    if (attempt + 1 < kShareAttempts) PauseBeforeRetry();
  }
  return kErrorSharingViolation;
}

int OpenNoIntr(const char* name, int flags) {
  int fd;
  do {
    fd = open(name, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Local time of a file time, as FileTimeToLocalFileTime and
// FileTimeToSystemTime give it.
void ToLocalSystemTime(const timespec& when, SystemTime* out) {
  detail::LoadTimeZone();
  struct tm local;
  localtime_r(&when.tv_sec, &local);
  detail::ToSystemTime(local, when.tv_nsec, out);
}

// What an open asks for, as OpenFile works it out step by step.
struct OpenRequest {
  bool read = false;           // the access has kGenericRead
  bool write = false;          // the access has kGenericWrite or kFileAppendData
  bool append = false;         // the access has kFileAppendData
  int flags = O_CLOEXEC;       // the flags for open(2)
  bool truncate = false;       // empty the file once the share check passed
  bool shareEmulated = false;  // take the share-mode locks
};

// The open(2) flags of a creation disposition and whether it empties the
// file; false for a disposition that does not exist or that would empty a
// file the handle may not write.
bool DispositionFlags(uint32_t disposition, OpenRequest* request) {
  switch (disposition) {
    case kCreateNew: request->flags |= O_CREAT | O_EXCL; return true;
    case kCreateAlways:
      request->flags |= O_CREAT;
      request->truncate = true;
      return true;
    case kOpenExisting: return true;
    case kOpenAlways: request->flags |= O_CREAT; return true;
    case kTruncateExisting: request->truncate = request->write; return request->write;
    default: return false;
  }
}

// Opens with the request's flags and `access`. When O_NOFOLLOW refused a
// link and the process is not root, opens again following it, and drops
// the flag from the request, whose flags then tell what the open did.
int OpenUnlessLink(const char* name, int access, OpenRequest* request) {
  int fd = OpenNoIntr(name, request->flags | access);
  if (fd < 0 && errno == ELOOP && (request->flags & O_NOFOLLOW) != 0 && geteuid() != 0) {
    request->flags &= ~O_NOFOLLOW;
    fd = OpenNoIntr(name, request->flags | access);
  }
  return fd;
}

// Opens the descriptor. A query handle needs no rights on the file's
// content; one that may create the file opens it for reading. Other handles
// are emptied only after the share check, so they need write access for it.
// Returns the descriptor, or -1 with errno set.
//
// Opening never waits: not for a writer of a FIFO, not for the carrier of a
// device; whatever is not a regular file is refused after the open.
// Appending handles write at the end whatever the file position, so that
// writers that the share-mode locks cannot keep apart (a file without read
// access for them, a file system without the locks) never write over each
// other's lines. Root follows no symbolic link to a file it may write or
// create: a link planted in a directory that another user controls must not
// redirect root's writes to a file of root's choosing.
int OpenDescriptor(const char* name, uint32_t disposition, OpenRequest* request) {
  request->flags |= O_NONBLOCK | O_NOCTTY;
  if (request->append) request->flags |= O_APPEND;
  // Only root keeps O_NOFOLLOW. It changes nothing where the name is no
  // link, so the open tries it first and asks for the user only when a link
  // refused it: the logger opens its file for every batch, and the question
  // costs a system call.
  if (request->write || (request->flags & O_CREAT) != 0) request->flags |= O_NOFOLLOW;
  if (!request->read && !request->write) {
    const bool truncate = request->truncate;
    request->truncate = false;
    if (disposition == kOpenExisting) return OpenUnlessLink(name, O_PATH, request);
    return OpenUnlessLink(name, O_RDONLY | (truncate ? O_TRUNC : 0), request);
  }
  request->shareEmulated = true;
  if (!request->write && !request->truncate) return OpenUnlessLink(name, O_RDONLY, request);
  int fd = OpenUnlessLink(name, O_RDWR, request);
  if (fd < 0 && errno == EACCES && request->write && !request->read) {
    fd = OpenUnlessLink(name, O_WRONLY, request);
    request->shareEmulated = false;
  }
  return fd;
}

// The Windows code of a failed open(2): a link that O_NOFOLLOW refused, and
// what is no file (a socket, a device without its driver or terminal), are
// refused as Windows refuses what it may not open.
uint32_t OpenFailure(int err, const char* name, const OpenRequest& request) {
  if ((err == ELOOP && (request.flags & O_NOFOLLOW) != 0) || err == ENXIO || err == ENODEV) {
    return kErrorAccessDenied;
  }
  return ErrorFromPathErrno(err, name);
}

// Refuses what is not a regular file (a directory, FIFO, socket or device),
// takes the share-mode locks and empties the file as the request says;
// returns 0 or the Windows code of the open's failure.
uint32_t PrepareDescriptor(int fd, uint32_t share, const OpenRequest& request) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return kErrorAccessDenied;
  // The descriptor keeps O_NONBLOCK: reads and writes of a regular file
  // ignore it, and the logger opens its file for every batch, where a
  // system call more is a measurable share of the batch's time.
  if (request.shareEmulated) {
    if (uint32_t code = TakeShareLocks(fd, request.read, request.write, share)) return code;
  }
  if (request.truncate && ftruncate(fd, 0) != 0) return ErrorFromErrno(errno);
  return 0;
}

}  // namespace

uint32_t OpenFile(const char* name, uint32_t access, uint32_t share, uint32_t disposition, FileHandle* file) {
  *file = nullptr;
  if (name == nullptr) return FailWith(kErrorInvalidParameter);
  OpenRequest request;
  request.read = (access & (kGenericRead | kGenericAll)) != 0;
  request.append = (access & kFileAppendData) != 0;
  request.write = request.append || (access & (kGenericWrite | kGenericAll)) != 0;
  if (!DispositionFlags(disposition, &request)) return FailWith(kErrorInvalidParameter);
  const int fd = OpenDescriptor(name, disposition, &request);
  if (fd < 0) return FailWith(OpenFailure(errno, name, request));
  if (uint32_t code = PrepareDescriptor(fd, share, request)) {
    close(fd);
    return FailWith(code);
  }
  auto* object = new (std::nothrow) FileObject{fd, request.read, request.write};
  if (object == nullptr) {
    close(fd);
    return FailWith(kErrorNotEnoughMemory);
  }
  *file = object;
  return 0;
}

bool IsTrustedConfiguration(FileHandle file) {
  if (file == nullptr || geteuid() != 0) return true;
  struct stat info;
  return fstat(file->fd, &info) == 0 && info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

uint32_t SeekToEnd(FileHandle file, uint64_t* position) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  off_t end = lseek(file->fd, 0, SEEK_END);
  if (end < 0) return FailWith(ErrorFromErrno(errno));
  if (position != nullptr) *position = static_cast<uint64_t>(end);
  return 0;
}

uint32_t WriteAll(FileHandle file, const void* bytes, uint32_t size) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  if (!file->canWrite) return FailWith(kErrorAccessDenied);
  const char* p = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t n = write(file->fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWith(ErrorFromErrno(errno));
    }
    if (n == 0) return FailWith(kErrorDiskFull);  // nothing written and no reason given
    p += n;
    size -= static_cast<uint32_t>(n);
  }
  return 0;
}

uint32_t CutFileAt(FileHandle file, uint64_t size) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  if (!file->canWrite) return FailWith(kErrorAccessDenied);
  if (size > static_cast<uint64_t>(INT64_MAX)) return FailWith(kErrorInvalidParameter);
  int result;
  do {
    result = ftruncate(file->fd, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0) return FailWith(ErrorFromErrno(errno));
  if (lseek(file->fd, static_cast<off_t>(size), SEEK_SET) < 0) return FailWith(ErrorFromErrno(errno));
  return 0;
}

uint32_t ReleaseShareMode(FileHandle file) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  // One call drops every share-mode lock of the handle (a handle without
  // share-mode emulation has none, and the call changes nothing).
  const int err = detail::SetByteLock(file->fd, F_UNLCK, kLockBase, kLockBytes, false);
  if (err != 0 && !detail::ByteLocksUnsupported(err)) return FailWith(ErrorFromErrno(err));
  return 0;
}

uint32_t ReadAll(FileHandle file, void* bytes, uint32_t size, uint32_t* done) {
  *done = 0;
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  if (!file->canRead) return FailWith(kErrorAccessDenied);
  char* p = static_cast<char*>(bytes);
  while (*done < size) {
    ssize_t n = read(file->fd, p + *done, size - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWith(ErrorFromErrno(errno));
    }
    if (n == 0) break;  // end of the file
    *done += static_cast<uint32_t>(n);
  }
  return 0;
}

uint32_t FileSize(FileHandle file, uint64_t* size) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  struct stat info;
  if (fstat(file->fd, &info) != 0) return FailWith(ErrorFromErrno(errno));
  *size = static_cast<uint64_t>(info.st_size);
  return 0;
}

uint32_t FlushFile(FileHandle file) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  if (!file->canWrite) return FailWith(kErrorAccessDenied);
  if (fsync(file->fd) != 0) return FailWith(ErrorFromErrno(errno));
  return 0;
}

uint32_t CloseFile(FileHandle file) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  // The descriptor is gone after close even when it reports an error (Linux),
  // and with it the handle's share-mode locks.
  int result = close(file->fd);
  int err = errno;
  delete file;
  if (result != 0 && err != EINTR) return FailWith(ErrorFromErrno(err));
  return 0;
}

uint32_t DeleteFileByName(const char* name) {
  if (name == nullptr) return FailWith(kErrorInvalidParameter);
  int fd = OpenNoIntr(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd >= 0) {
    bool held = false;
    int err = detail::IsByteHeldElsewhere(fd, kLockBase + kDeniesDelete, &held);
    close(fd);
    if (err == 0 && held) return FailWith(kErrorSharingViolation);
  }
  if (unlink(name) != 0) return FailWith(ErrorFromPathErrno(errno == EISDIR ? EACCES : errno, name));
  return 0;
}

uint32_t LastWriteTimeLocal(FileHandle file, SystemTime* time) {
  if (file == nullptr) return FailWith(kErrorInvalidHandle);
  struct stat info;
  if (fstat(file->fd, &info) != 0) return FailWith(ErrorFromErrno(errno));
  ToLocalSystemTime(info.st_mtim, time);
  return 0;
}

uint32_t LastWriteTimeLocal(const char* name, SystemTime* time) {
  if (name == nullptr) return FailWith(kErrorInvalidParameter);
  struct stat info;
  if (stat(name, &info) != 0) return FailWith(ErrorFromPathErrno(errno, name));
  if (S_ISDIR(info.st_mode)) return FailWith(kErrorAccessDenied);  // as the query open of a directory
  ToLocalSystemTime(info.st_mtim, time);
  return 0;
}

}  // namespace plat

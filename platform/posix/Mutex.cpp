// Mutexes and events on POSIX.
//
// A named mutex is a robust, recursive, process-shared pthread mutex in a
// POSIX shared-memory segment named "/yxmx." + the mutex's name (mode 0600).
// Robustness gives the Windows abandonment: when the owning thread ends, or
// its process dies, the next locker gets EOWNERDEAD, makes the mutex
// consistent and owns it. Each process maps a segment once, however many
// handles it opens, so that all its threads lock the mutex at one address.
//
// Lifetime. The object must exist exactly while a handle to it is open in
// some process. A count in the segment would be left too high by a process
// that dies holding handles, so the holders are counted by the kernel
// instead: every process that has a handle holds a shared open-file-
// description lock on byte kHoldersByte of the segment's file, which the
// kernel drops when the process closes the descriptor or dies. The process
// that closes its last handle tries to turn its shared lock into an
// exclusive one; that succeeds only when no other process holds one, and
// then it unlinks the segment.
//
// The race between that last close and an open in another process is closed
// by a second lock, an exclusive one on byte kBookkeepingByte, which both
// take around their bookkeeping. The opener takes it after shm_open and then
// looks at the segment's link count: when the closer unlinked the segment in
// between, the count is 0 and the opener starts again, creating a new
// segment (or, for an open, finding none: 2). When the opener came first, it
// holds its holder lock by the time the closer asks, and the closer leaves
// the segment alone. An opener that finds a segment that no process holds
// (every holder died without closing) treats it as gone: a create
// initialises it anew, an open unlinks it and fails with 2.
//
// Leftovers. A segment whose every holder died stays in /dev/shm until some
// process opens that name again, and the names are seldom opened again (the
// logger names its mutex after an address). So every create of a named
// mutex first sweeps the directory: every segment of this layer that
// belongs to the effective user and that no process holds is removed, under
// its bookkeeping lock, by the same rule as above. Their number thus stays
// at the segments of live processes plus those of processes that died since
// the last create.
//
// An event is a flag under a process-private mutex and condition variable.

#include "plat/Mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "ByteLock.h"
#include "Deadline.h"
#include "ErrnoMap.h"
#include "plat/Error.h"
#include "plat/Process.h"

#if defined(__SANITIZE_THREAD__)
#define YX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define YX_TSAN 1
#endif
#endif

namespace plat {
namespace {

constexpr uint32_t kReady = 0x584D5859;  // "YXMX": the segment is initialised
constexpr off_t kHoldersByte = 0;
constexpr off_t kBookkeepingByte = 1;
constexpr int kOpenAttempts = 100;
// What the names of this layer's segments begin with, after the "/".
constexpr char kShmPrefix[] = "yxmx.";
constexpr char kShmDirectory[] = "/dev/shm";

// The content of a segment. The owner fields are written only by the owning
// thread while it holds the mutex; they are atomic because other threads
// read them to tell whether they own it.
struct SharedMutex {
  std::atomic<uint32_t> ready;     // kReady once the mutex is initialised
  std::atomic<uint32_t> ownerPid;  // process of the owning thread; 0 when free
  std::atomic<uint32_t> ownerTid;  // the owning thread; 0 when free
  uint32_t depth;                  // acquisitions not yet released
  pthread_mutex_t mutex;
};

// A segment as this process maps it, shared by all of the process's handles.
struct Segment {
  Segment* next;
  std::string shmName;  // "/yxmx." + the mutex name; empty for an unnamed mutex
  dev_t dev;
  ino_t ino;
  int fd;  // holds this process's holder lock; -1 for an unnamed mutex
  SharedMutex* shared;
  int handles;  // handles of this process
};

}  // namespace

// A handle: one open of a mutex, in this process.
struct MutexObject {
  Segment* segment;
};

namespace {

// The segments of the named mutexes this process has handles to.
pthread_mutex_t gSegmentsLock = PTHREAD_MUTEX_INITIALIZER;
Segment* gSegments = nullptr;

void LockSegments() { pthread_mutex_lock(&gSegmentsLock); }
void UnlockSegments() { pthread_mutex_unlock(&gSegmentsLock); }

// A child made by fork shares the parent's descriptors, and with them the
// parent's holder locks: it forgets the parent's segments (its own close of
// the descriptors leaves the parent's locks alone), and handles it inherited
// are not valid in it, as Windows handles are not inherited.
void ForgetSegmentsInChild() {
  for (Segment* s = gSegments; s != nullptr; s = s->next) {
    if (s->fd >= 0) close(s->fd);
  }
  gSegments = nullptr;
  UnlockSegments();  // locked by this thread before the fork
}

void WatchForks() {
  static const bool registered = pthread_atfork(LockSegments, UnlockSegments, ForgetSegmentsInChild) == 0;
  (void)registered;
}

// One byte of the holder bookkeeping; `wait` blocks until it can be had.
int SetLock(int fd, short type, off_t byte, bool wait) {
  return detail::SetByteLock(fd, type, byte, 1, wait);
}

// Builds an unowned mutex in `shared`, over whatever was there.
int InitShared(SharedMutex* shared) {
  new (&shared->ready) std::atomic<uint32_t>(0);
  new (&shared->ownerPid) std::atomic<uint32_t>(0);
  new (&shared->ownerTid) std::atomic<uint32_t>(0);
  shared->depth = 0;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  int err = pthread_mutex_init(&shared->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (err == 0) shared->ready.store(kReady, std::memory_order_release);
  return err;
}

// An unnamed mutex: a private segment of its own, in no list.
uint32_t CreateUnnamed(Segment** result) {
  void* map = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return ErrorFromErrno(errno);
  auto* shared = static_cast<SharedMutex*>(map);
  int err = InitShared(shared);
  auto* segment =
      err == 0 ? new (std::nothrow) Segment{nullptr, std::string(), 0, 0, -1, shared, 1} : nullptr;
  if (segment == nullptr) {
    munmap(map, sizeof(SharedMutex));
    return err != 0 ? ErrorFromErrno(err) : kErrorNotEnoughMemory;
  }
  *result = segment;
  return 0;
}

// Maps the segment behind `fd`, a new one of this process, and makes this
// process a holder of it. Called with the bookkeeping lock held; `fresh`
// says that no process holds the segment, so it is initialised.
uint32_t MapSegment(int fd, const std::string& shmName, const struct stat& info, bool fresh,
                    Segment** result) {
  if (fresh && ftruncate(fd, sizeof(SharedMutex)) != 0) return ErrorFromErrno(errno);
  if (!fresh && info.st_size < static_cast<off_t>(sizeof(SharedMutex))) return kErrorInternalError;
  // A mapping keeps the open file description it was made from alive, and
  // with it that description's locks: it is made from a second open of the
  // segment, so that closing `fd` always drops this process's holder lock,
  // also when the mapping stays (see CloseSegment) or a forked child
  // inherited it.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int mapFd = open(self.c_str(), O_RDWR | O_CLOEXEC);
  if (mapFd < 0) return ErrorFromErrno(errno);
  void* map = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, mapFd, 0);
  int mapErr = errno;
  close(mapFd);
  if (map == MAP_FAILED) return ErrorFromErrno(mapErr);
  auto* shared = static_cast<SharedMutex*>(map);
  int err = fresh ? InitShared(shared) : 0;
  if (err == 0 && shared->ready.load(std::memory_order_acquire) != kReady) err = EINVAL;
  if (err == 0) err = SetLock(fd, F_RDLCK, kHoldersByte, false);
  auto* segment = err == 0 ? new (std::nothrow)
                                 Segment{gSegments, shmName, info.st_dev, info.st_ino, fd, shared, 1}
                           : nullptr;
  if (segment == nullptr) {
    munmap(map, sizeof(SharedMutex));
    return err != 0 ? ErrorFromErrno(err) : kErrorNotEnoughMemory;
  }
  gSegments = segment;
  *result = segment;
  return 0;
}

// Finds or makes this process's segment of the mutex `name`. Called with the
// segment list locked.
uint32_t OpenSegment(const char* name, bool create, Segment** result) {
  const std::string shmName = std::string("/") + kShmPrefix + name;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = shm_open(shmName.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat info;
    int err = SetLock(fd, F_WRLCK, kBookkeepingByte, true);
    if (err == 0 && fstat(fd, &info) != 0) err = errno;
    if (err != 0) {
      close(fd);
      return ErrorFromErrno(err);
    }
    if (info.st_nlink == 0) {  // its last holder unlinked it meanwhile
      close(fd);
      continue;
    }
    for (Segment* s = gSegments; s != nullptr; s = s->next) {
      if (s->dev == info.st_dev && s->ino == info.st_ino) {
        ++s->handles;
        close(fd);  // drops the bookkeeping lock
        *result = s;
        return 0;
      }
    }
    bool held = false;
    err = detail::IsByteHeldElsewhere(fd, kHoldersByte, &held);
    if (err != 0) {
      close(fd);
      return ErrorFromErrno(err);
    }
    if (!held && !create) {  // left behind by processes that died: no mutex
      shm_unlink(shmName.c_str());
      close(fd);
      return kErrorFileNotFound;
    }
    uint32_t code = MapSegment(fd, shmName, info, !held, result);
    if (code != 0) {
      close(fd);
      return code;
    }
    SetLock(fd, F_UNLCK, kBookkeepingByte, false);
    return 0;
  }
  return kErrorInternalError;
}

// Removes the segment `shmName` when it belongs to the effective user and no
// process holds it. A segment whose bookkeeping lock is taken is left alone:
// its owner is opening or closing it.
void RemoveIfAbandoned(const std::string& shmName) {
  int fd = shm_open(shmName.c_str(), O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return;
  struct stat info;
  bool held = true;
  if (SetLock(fd, F_WRLCK, kBookkeepingByte, false) == 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_uid == geteuid() && info.st_nlink != 0 &&
      detail::IsByteHeldElsewhere(fd, kHoldersByte, &held) == 0 && !held) {
    shm_unlink(shmName.c_str());
  }
  close(fd);  // drops the bookkeeping lock
}

// Sweeps the segments that processes which died left behind.
void ReclaimAbandonedSegments() {
  DIR* dir = opendir(kShmDirectory);
  if (dir == nullptr) return;
  const size_t prefixLength = sizeof kShmPrefix - 1;
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, kShmPrefix, prefixLength) == 0) {
      RemoveIfAbandoned(std::string("/") + entry->d_name);
    }
  }
  closedir(dir);
}

uint32_t OpenHandle(const char* name, bool create, MutexHandle* mutex) {
  *mutex = nullptr;
  const bool unnamed = name == nullptr || *name == 0;
  if (unnamed && !create) return FailWith(kErrorInvalidParameter);
  auto* handle = new (std::nothrow) MutexObject;
  if (handle == nullptr) return FailWith(kErrorNotEnoughMemory);
  uint32_t code;
  if (unnamed) {
    code = CreateUnnamed(&handle->segment);
  } else {
    WatchForks();
    if (create) ReclaimAbandonedSegments();
    LockSegments();
    code = OpenSegment(name, create, &handle->segment);
    UnlockSegments();
  }
  if (code != 0) {
    delete handle;
    return FailWith(code);
  }
  *mutex = handle;
  return 0;
}

// Drops one handle of `segment`; the last one of the process unmaps it, and
// the last one of all processes removes the object.
void CloseSegment(Segment* segment) {
  if (segment->fd >= 0) {
    LockSegments();
    if (--segment->handles > 0) {
      UnlockSegments();
      return;
    }
    for (Segment** link = &gSegments; *link != nullptr; link = &(*link)->next) {
      if (*link == segment) {
        *link = segment->next;
        break;
      }
    }
    if (SetLock(segment->fd, F_WRLCK, kBookkeepingByte, true) == 0 &&
        SetLock(segment->fd, F_WRLCK, kHoldersByte, false) == 0) {
      shm_unlink(segment->shmName.c_str());  // no other process holds it
    }
    close(segment->fd);
    UnlockSegments();
  }
  // A thread of this process that owns the mutex has it on its robust list,
  // which the C library and the kernel walk when the thread locks another
  // robust mutex or ends: that mapping must stay. Such a close is rare (the
  // handle closed before the release); the page is then left mapped.
  if (segment->shared->ownerPid.load(std::memory_order_relaxed) != CurrentProcessId()) {
    munmap(segment->shared, sizeof(SharedMutex));
  }
  delete segment;
}

// A wait with a time limit; returns what pthread_mutex_timedlock returns.
// ThreadSanitizer models an abandoned mutex (EOWNERDEAD) only where it comes
// from pthread_mutex_lock or _trylock, which make it forget the owner that
// ended; after _timedlock it would keep that owner and report a double
// lock. Its build therefore waits by trying again every millisecond, with
// the same results.
int TimedLock(pthread_mutex_t* mutex, uint32_t timeoutMs) {
#if defined(YX_TSAN)
  const timespec deadline = detail::DeadlineOn(CLOCK_MONOTONIC, timeoutMs);
  for (;;) {
    const int err = pthread_mutex_trylock(mutex);
    if (err != EBUSY) return err;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec)) {
      return ETIMEDOUT;
    }
    const timespec pause = {0, 1000000L};
    nanosleep(&pause, nullptr);
  }
#else
  const timespec deadline = detail::RealtimeDeadline(timeoutMs);
  return pthread_mutex_timedlock(mutex, &deadline);
#endif
}

}  // namespace

uint32_t CreateNamedMutex(const char* name, MutexHandle* mutex) { return OpenHandle(name, true, mutex); }

uint32_t OpenNamedMutex(const char* name, MutexHandle* mutex) { return OpenHandle(name, false, mutex); }

uint32_t WaitMutex(MutexHandle mutex, uint32_t timeoutMs) {
  if (mutex == nullptr) return FailWith(kErrorInvalidHandle);
  SharedMutex* shared = mutex->segment->shared;
  int err = pthread_mutex_trylock(&shared->mutex);
  if (err == EBUSY) {
    if (timeoutMs == 0) return kErrorWaitTimeout;
    if (timeoutMs == kInfinite) {
      err = pthread_mutex_lock(&shared->mutex);
    } else {
      err = TimedLock(&shared->mutex, timeoutMs);
      if (err == ETIMEDOUT) return kErrorWaitTimeout;
    }
  }
  if (err == EOWNERDEAD) {  // abandoned: ours now, with a fresh count
    pthread_mutex_consistent(&shared->mutex);
    shared->depth = 0;
    err = 0;
  }
  if (err != 0) return FailWith(err == ENOTRECOVERABLE ? uint32_t{kErrorInternalError} : ErrorFromErrno(err));
  if (shared->depth++ == 0) {
    shared->ownerPid.store(CurrentProcessId(), std::memory_order_relaxed);
    shared->ownerTid.store(CurrentThreadId(), std::memory_order_relaxed);
  }
  return 0;
}

uint32_t ReleaseMutexHandle(MutexHandle mutex) {
  if (mutex == nullptr) return FailWith(kErrorInvalidHandle);
  SharedMutex* shared = mutex->segment->shared;
  if (shared->ownerTid.load(std::memory_order_relaxed) != CurrentThreadId() ||
      shared->ownerPid.load(std::memory_order_relaxed) != CurrentProcessId()) {
    return FailWith(kErrorNotOwner);
  }
  // The owner fields are cleared before the last unlock, while they are
  // still this thread's to write.
  if (shared->depth == 1) {
    shared->depth = 0;
    shared->ownerTid.store(0, std::memory_order_relaxed);
    shared->ownerPid.store(0, std::memory_order_relaxed);
    if (pthread_mutex_unlock(&shared->mutex) != 0) return FailWith(kErrorNotOwner);
  } else {
    if (pthread_mutex_unlock(&shared->mutex) != 0) return FailWith(kErrorNotOwner);
    --shared->depth;
  }
  return 0;
}

uint32_t CloseMutexHandle(MutexHandle mutex) {
  if (mutex == nullptr) return FailWith(kErrorInvalidHandle);
  CloseSegment(mutex->segment);
  delete mutex;
  return 0;
}

struct EventObject {
  pthread_mutex_t lock;
  pthread_cond_t changed;  // waits against CLOCK_MONOTONIC
  bool manualReset;
  bool signalled;
};

EventHandle CreateEventObject(bool manualReset, bool initialState) {
  auto* event = new (std::nothrow) EventObject;
  if (event == nullptr) {
    FailWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  pthread_mutex_init(&event->lock, nullptr);
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(&event->changed, &attr);
  pthread_condattr_destroy(&attr);
  event->manualReset = manualReset;
  event->signalled = initialState;
  return event;
}

uint32_t SetEventObject(EventHandle event) {
  if (event == nullptr) return FailWith(kErrorInvalidHandle);
  pthread_mutex_lock(&event->lock);
  event->signalled = true;
  if (event->manualReset) {
    pthread_cond_broadcast(&event->changed);
  } else {
    pthread_cond_signal(&event->changed);
  }
  pthread_mutex_unlock(&event->lock);
  return 0;
}

uint32_t ResetEventObject(EventHandle event) {
  if (event == nullptr) return FailWith(kErrorInvalidHandle);
  pthread_mutex_lock(&event->lock);
  event->signalled = false;
  pthread_mutex_unlock(&event->lock);
  return 0;
}

uint32_t WaitEventObject(EventHandle event, uint32_t timeoutMs) {
  if (event == nullptr) return FailWith(kErrorInvalidHandle);
  const timespec deadline = detail::DeadlineOn(CLOCK_MONOTONIC, timeoutMs);
  pthread_mutex_lock(&event->lock);
  bool timedOut = false;
  while (!event->signalled && !timedOut) {
    if (timeoutMs == kInfinite) {
      pthread_cond_wait(&event->changed, &event->lock);
    } else {
      timedOut =
          timeoutMs == 0 || pthread_cond_timedwait(&event->changed, &event->lock, &deadline) == ETIMEDOUT;
    }
  }
  bool got = event->signalled;
  if (got && !event->manualReset) event->signalled = false;
  pthread_mutex_unlock(&event->lock);
  return got ? 0u : uint32_t{kErrorWaitTimeout};
}

uint32_t CloseEventObject(EventHandle event) {
  if (event == nullptr) return FailWith(kErrorInvalidHandle);
  pthread_cond_destroy(&event->changed);
  pthread_mutex_destroy(&event->lock);
  delete event;
  return 0;
}

}  // namespace plat

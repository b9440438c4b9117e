// The logger's platform services where only POSIX can test them: several
// processes (fork, exec, SIGKILL), files beyond 4 GiB, FIFOs, sockets,
// devices and symbolic links.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Mutex.h"
#include "plat/Process.h"
#include "plat/Thread.h"
#include "platform/log_platform_support.h"

namespace {

using plat::MutexHandle;
using namespace yxtest;

// Forks a child that runs `hold` and, when that succeeds, stays until it is
// killed. Returns the child once `hold` has succeeded, or -1.
template <class Hold>
pid_t ForkHolding(Hold hold) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const char held = 'H';
    if (!hold() || write(fds[1], &held, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(fds[1]);
  char held = 0;
  const bool ok = child > 0 && read(fds[0], &held, 1) == 1;  // 0 bytes: the child has ended
  close(fds[0]);
  if (!ok && child > 0) waitpid(child, nullptr, 0);
  return ok ? child : -1;
}

void Kill(pid_t child) {
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// Runs `body` in a child process.
template <class Body>
pid_t Spawn(Body body) {
  pid_t child = fork();
  if (child == 0) _exit(body());
  return child;
}

// Waits for the child and returns its exit status, or -1 when it has not
// ended within `seconds` (it is then killed).
int ExitStatusWithin(int seconds, pid_t child) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    usleep(2000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child made by fork, while another thread waits for a message, has ids
// of its own and a message queue of its own; the parent's threads are not
// in it.
TEST(PosixProcessTest, ChildOfForkHasItsOwnIdsAndMessageQueue) {
  const uint32_t parentPid = plat::CurrentProcessId();
  const uint32_t parentTid = plat::CurrentThreadId();
  plat::EventHandle ready = plat::CreateEventObject(true, false);
  TestThread waiter([ready] {
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    plat::ThreadMessage message;
    while (plat::GetThreadMessage(&message) > 0) {
    }
    return 0u;
  });
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  plat::EnsureMessageQueue();
  auto child = [&] {
    plat::ThreadMessage message = {};
    const bool ok = plat::CurrentProcessId() == static_cast<uint32_t>(getpid()) &&
                    plat::CurrentThreadId() == static_cast<uint32_t>(syscall(SYS_gettid)) &&
                    plat::CurrentProcessId() != parentPid && plat::CurrentThreadId() != parentTid &&
                    !plat::PostThreadMessageTo(waiter.Id(), plat::kWmUser, 0, 0) &&
                    plat::PostThreadMessageTo(plat::CurrentThreadId(), plat::kWmUser + 4, 4, 0) &&
                    plat::GetThreadMessage(&message) > 0 && message.message == plat::kWmUser + 4;
    return ok ? 0 : 1;
  };
  EXPECT_EQ(ExitStatusWithin(10, Spawn(child)), 0);
  EXPECT_EQ(plat::CurrentProcessId(), parentPid);
  EXPECT_TRUE(plat::PostThreadMessageTo(waiter.Id(), plat::kWmQuit, 0, 0));
  EXPECT_EQ(waiter.Join(), 0u);
  plat::CloseEventObject(ready);
}

// Run in a child started by CommandLineQuotesEmptyArgumentsAndArgumentsWithBlanks,
// which names the expected command line in the environment.
TEST(PosixProcessTest, ChildChecksItsCommandLine) {
  const char* expected = std::getenv("YX_TEST_CMDLINE");
  if (expected == nullptr) GTEST_SKIP() << "only run as the child of another test";
  const char* line = plat::CommandLine();
  EXPECT_STREQ(line, expected);
  EXPECT_EQ(plat::CommandLine(), line);  // read once and kept
}

TEST(PosixProcessTest, CommandLineQuotesEmptyArgumentsAndArgumentsWithBlanks) {
  auto child = [] {
    setenv(
        "YX_TEST_CMDLINE",
        "\"/opt/my tools/yxtk\" --gtest_filter=PosixProcessTest.ChildChecksItsCommandLine \"\" \"a b\" plain",
        1);
    const char* argv[] = {"/opt/my tools/yxtk",
                          "--gtest_filter=PosixProcessTest.ChildChecksItsCommandLine",
                          "",
                          "a b",
                          "plain",
                          nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    return 127;
  };
  EXPECT_EQ(ExitStatusWithin(60, Spawn(child)), 0);
}

// Each round creates, takes, releases and closes the mutex, so the object
// keeps vanishing with one process's last close while the other process
// creates or opens it: the two must still always meet in one object, and
// its increments of a shared counter (read, yield, write) never overlap.
TEST(PosixMutexTest, ProcessesThatCreateAndCloseEachRoundStillShareOneMutex) {
  const std::string name = UniqueName("churn");
  void* page = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  volatile int* counter = static_cast<volatile int*>(page);
  *counter = 0;
  constexpr int kRounds = 300;
  auto count = [&] {
    for (int i = 0; i < kRounds; ++i) {
      MutexHandle mutex = nullptr;
      uint32_t code = (i % 2 == 0) ? plat::CreateNamedMutex(name.c_str(), &mutex)
                                   : plat::OpenNamedMutex(name.c_str(), &mutex);
      if (code == plat::kErrorFileNotFound) code = plat::CreateNamedMutex(name.c_str(), &mutex);
      if (code != 0 || plat::WaitMutex(mutex, plat::kInfinite) != 0) return false;
      int value = *counter;
      sched_yield();
      *counter = value + 1;
      if (plat::ReleaseMutexHandle(mutex) != 0 || plat::CloseMutexHandle(mutex) != 0) return false;
    }
    return true;
  };
  pid_t child = Spawn([&] { return count() ? 0 : 2; });
  ASSERT_GE(child, 0);
  EXPECT_TRUE(count());
  EXPECT_EQ(ExitStatusWithin(60, child), 0);
  EXPECT_EQ(*counter, 2 * kRounds);
  munmap(page, sizeof(int));
  MutexHandle gone = nullptr;
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &gone), plat::kErrorFileNotFound);
}

// Whether a process waits for an open-file-description lock on byte
// `byte` of the file with inode `inode` (from /proc/locks).
bool SomeoneWaitsForLock(ino_t inode, int byte) {
  std::ifstream locks("/proc/locks");
  std::string line;
  const std::string tail =
      ":" + std::to_string(inode) + " " + std::to_string(byte) + " " + std::to_string(byte);
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos && line.find("OFDLCK") != std::string::npos &&
        line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
      return true;
    }
  }
  return false;
}

// White-box: the last close of a mutex unlinks its segment while holding
// the segment's bookkeeping lock (byte 1). An open that reached the segment
// before the unlink and waited for that lock must notice, after it, that
// the segment is gone, and not hand out a handle to the dead object.
// A service may run without standard input: its first open then gets
// descriptor 0, which the mutex service takes as any other.
TEST(PosixMutexTest, WorksWithoutStandardInput) {
  const std::string name = UniqueName("stdin");
  EXPECT_EQ(ExitStatusWithin(10, Spawn([&] {
                               close(STDIN_FILENO);
                               plat::MutexHandle mutex = nullptr;
                               if (plat::CreateNamedMutex(name.c_str(), &mutex) != 0) return 2;
                               return plat::CloseMutexHandle(mutex) == 0 ? 0 : 3;
                             })),
            0);
}

TEST(PosixMutexTest, OpenThatRacesTheLastCloseFindsNoMutex) {
  const std::string name = UniqueName("race");
  const std::string path = "/dev/shm/yxmx." + name;
  MutexHandle mutex = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  // Stand in for a closer: take the bookkeeping lock ...
  int closer = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(closer, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 1;
  lock.l_len = 1;
  ASSERT_EQ(fcntl(closer, F_OFD_SETLK, &lock), 0);
  pid_t child = Spawn([&] {
    close(closer);  // the lock stays the parent's alone
    MutexHandle opened = nullptr;
    uint32_t code = plat::OpenNamedMutex(name.c_str(), &opened);
    return code == plat::kErrorFileNotFound ? 0 : static_cast<int>(code & 0x7F) + 1;
  });
  ASSERT_GE(child, 0);
  // ... let the opener come to wait for it, then unlink and release it.
  bool waiting = false;
  for (int i = 0; i < 10000 && !waiting; ++i) {
    waiting = SomeoneWaitsForLock(info.st_ino, 1);
    if (!waiting) usleep(1000);
  }
  EXPECT_TRUE(waiting);
  EXPECT_EQ(unlink(path.c_str()), 0);
  close(closer);
  EXPECT_EQ(ExitStatusWithin(60, child), 0);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
}

// Processes killed while they hold named mutexes leave the objects behind;
// the next process that creates a named mutex removes every one that no
// live process holds, and leaves alone those that one does. (Any process
// of this user that creates a named mutex sweeps, another test program
// among them, so the objects are not looked for before the sweep here.)
TEST(PosixMutexTest, ObjectsOfKilledProcessesAreReclaimed) {
  auto exists = [](const std::string& name) { return access(("/dev/shm/yxmx." + name).c_str(), F_OK) == 0; };
  auto holder = [](const std::string& name) {
    return ForkHolding([&] {
      MutexHandle own = nullptr;
      return plat::CreateNamedMutex(name.c_str(), &own) == 0 && plat::WaitMutex(own, 0) == 0;
    });
  };
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    names.push_back(UniqueName("killed"));
    pid_t child = holder(names.back());
    ASSERT_GT(child, 0);
    Kill(child);
  }
  const std::string live = UniqueName("live");
  pid_t liveChild = holder(live);
  ASSERT_GT(liveChild, 0);
  // A new process, as a new logger would be.
  auto sweeper = [] {
    MutexHandle mutex = nullptr;
    return plat::CreateNamedMutex(UniqueName("sweeper").c_str(), &mutex) == 0 ? 0 : 1;
  };
  EXPECT_EQ(ExitStatusWithin(10, Spawn(sweeper)), 0);
  for (const std::string& name : names) EXPECT_FALSE(exists(name)) << name;
  EXPECT_TRUE(exists(live));
  MutexHandle probe = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(live.c_str(), &probe), 0u);
  EXPECT_EQ(plat::WaitMutex(probe, 0), plat::kErrorWaitTimeout);  // still owned by the live holder
  // The holder is killed while this thread waits with a time limit: the
  // mutex is abandoned and acquired, held once, and the object goes with
  // the last handle although the killed process never closed its own.
  TestThread killer([liveChild] {
    usleep(50 * 1000);  // lets this thread come to wait
    Kill(liveChild);
    return 0u;
  });
  EXPECT_EQ(plat::WaitMutex(probe, 20000), 0u);
  EXPECT_EQ(killer.Join(), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(probe), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(probe), plat::kErrorNotOwner);
  EXPECT_EQ(plat::CloseMutexHandle(probe), 0u);
  EXPECT_FALSE(exists(live));
  MutexHandle gone = nullptr;
  EXPECT_EQ(plat::OpenNamedMutex(live.c_str(), &gone), plat::kErrorFileNotFound);
}

// The share modes hold between processes, and vanish with a process that
// is killed holding the file.
TEST(PosixFileTest, SharingHoldsBetweenProcessesUntilOneIsKilled) {
  ScopedTempDir dir;
  const std::string name = dir.File("shared.log");
  pid_t child = ForkHolding([&] {
    plat::FileHandle file = nullptr;
    return plat::OpenFile(name.c_str(), kW, kShareR, plat::kOpenAlways, &file) == 0;
  });
  ASSERT_GT(child, 0);
  EXPECT_EQ(OpenCode(name, kW, kShareR, plat::kOpenAlways), plat::kErrorSharingViolation);
  EXPECT_EQ(OpenCode(name, kR, kShareR, plat::kOpenExisting), plat::kErrorSharingViolation);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), plat::kErrorSharingViolation);
  EXPECT_EQ(OpenCode(name, kR, kShareRW, plat::kOpenExisting), 0u);
  Kill(child);
  EXPECT_EQ(OpenCode(name, kW, 0, plat::kOpenExisting), 0u);
}

// A handle whose share modes were lifted refuses no other open, and still
// writes: the logger lifts them before it lets other processes in.
TEST(PosixFileTest, LiftedShareModesRefuseNothing) {
  ScopedTempDir dir;
  const std::string name = dir.File("lifted.log");
  plat::FileHandle file = MustOpen(name, kW, kShareR, plat::kOpenAlways);
  EXPECT_EQ(OpenCode(name, kW, kShareRW, plat::kOpenExisting), plat::kErrorSharingViolation);
  EXPECT_EQ(plat::ReleaseShareMode(file), 0u);
  EXPECT_EQ(OpenCode(name, kW, kShareRW, plat::kOpenExisting), 0u);
  EXPECT_EQ(plat::WriteAll(file, "x", 1), 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);
}

// A cut that succeeded is not retried because an earlier call left EINTR
// in errno (it would cut for ever).
TEST(PosixFileTest, ACutIsNotRetriedForAStaleEintr) {
  ScopedTempDir dir;
  const std::string name = dir.File("cut.log");
  EXPECT_EQ(ExitStatusWithin(10, Spawn([&] {
                               plat::FileHandle file = nullptr;
                               if (plat::OpenFile(name.c_str(), kW, kShareRW, plat::kOpenAlways, &file) != 0)
                                 return 2;
                               errno = EINTR;
                               return plat::CutFileAt(file, 0) == 0 ? 0 : 3;
                             })),
            0);
}

TEST(PosixFileTest, SeekToEndWorksBeyond4GiB) {
  ScopedTempDir dir;
  const std::string name = dir.File("big.log");
  const uint64_t size = (5ull << 30) + 7;  // sparse: no disk space is used
  { std::ofstream create(name); }
  ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(size)), 0);
  plat::FileHandle file = MustOpen(name, kW, kShareR, plat::kOpenAlways);
  uint64_t position = 0;
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, size);
  EXPECT_EQ(plat::WriteAll(file, "end", 3), 0u);
  uint64_t newSize = 0;
  EXPECT_EQ(plat::FileSize(file, &newSize), 0u);
  EXPECT_EQ(newSize, size + 3);
  plat::CloseFile(file);
}

// What is not a regular file never opens and never makes an open wait: a
// FIFO without a writer (a read open would wait for one), a socket, a
// directory, devices. Every kind of open gives 5 at once.
TEST(PosixFileTest, OddFilesFailAtOnceForEveryKindOfOpen) {
  ScopedTempDir dir;
  const std::string fifo = dir.File("fifo.wli");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = dir.File("socket.log");
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // clang-format off
  const std::string paths[] = {fifo, socketPath, dir.Path().string(), "/dev/null", "/dev/full", "/dev/tty"};
  const struct { uint32_t access, share, disposition; } opens[] = {
    {plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting},
    {plat::kGenericWrite | plat::kFileAppendData, plat::kFileShareRead, plat::kOpenAlways},
    {plat::kGenericWrite, kShareRW, plat::kOpenExisting},
    {plat::kGenericRead | plat::kGenericWrite, 0, plat::kOpenAlways},
    {0, kShareRW, plat::kOpenExisting},
  };
  // clang-format on
  for (const std::string& path : paths) {
    if (access(path.c_str(), F_OK) != 0) continue;  // no terminal device here
    for (const auto& open : opens) {
      SCOPED_TRACE(path + " access " + std::to_string(open.access));
      auto refused = [&] {
        plat::FileHandle file = nullptr;
        const uint32_t code = plat::OpenFile(path.c_str(), open.access, open.share, open.disposition, &file);
        return code == plat::kErrorAccessDenied && file == nullptr ? 0 : 1;
      };
      EXPECT_EQ(ExitStatusWithin(10, Spawn(refused)), 0);
    }
  }
  close(sock);
}

// An appending handle writes at the end of the file whatever its position
// and whatever other handles wrote meanwhile, so that writers that the share
// modes do not keep apart never write over each other.
TEST(PosixFileTest, AppendingHandlesNeverOverwriteEachOther) {
  ScopedTempDir dir;
  const std::string name = dir.File("shared.log");
  plat::FileHandle first = MustOpen(name, kW | plat::kFileAppendData, kShareRW, plat::kOpenAlways);
  plat::FileHandle second = MustOpen(name, kW | plat::kFileAppendData, kShareRW, plat::kOpenAlways);
  for (const char* line : {"one\r\n", "two\r\n", "three\r\n"}) {
    ASSERT_EQ(plat::WriteAll(first, line, 5), 0u);
    ASSERT_EQ(plat::WriteAll(second, "--\r\n", 4), 0u);
  }
  plat::CloseFile(first);
  plat::CloseFile(second);
  EXPECT_EQ(yx::test::ReadFile(name), "one\r\n--\r\ntwo\r\n--\r\nthree--\r\n");
}

// As root, an open that may write or create the file does not follow a
// symbolic link, so a link planted in a directory another user controls
// cannot redirect root's log; reads still follow links. Other users keep
// Windows' behaviour, where links are followed.
TEST(PosixFileTest, RootWritesNoFileThroughASymbolicLink) {
  ScopedTempDir dir;
  const std::string target = dir.File("target");
  const std::string link = dir.File("prog.log");
  yx::test::WriteFile(target, "kept\n");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  const bool root = geteuid() == 0;
  for (uint32_t disposition : {plat::kOpenAlways, plat::kOpenExisting, plat::kCreateAlways}) {
    EXPECT_EQ(OpenCode(link, kW | plat::kFileAppendData, kShareR, disposition),
              root ? plat::kErrorAccessDenied : 0u)
        << disposition;
    yx::test::WriteFile(target, "kept\n");
  }
  EXPECT_EQ(OpenCode(link, kR, kShareR, plat::kOpenExisting), 0u);
  EXPECT_EQ(yx::test::ReadFile(target), "kept\n");
  if (!root) return;
  // Another user follows the link, where root is refused: a child that has
  // become "nobody" appends through it.
  ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(target.c_str(), 0666), 0);
  const pid_t child = Spawn([&] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 2;
    plat::FileHandle file = nullptr;
    if (plat::OpenFile(link.c_str(), kW | plat::kFileAppendData, kShareR, plat::kOpenAlways, &file) != 0)
      return 3;
    const uint32_t written = plat::WriteAll(file, "more\n", 5);
    plat::CloseFile(file);
    return written == 0 ? 0 : 4;
  });
  EXPECT_EQ(ExitStatusWithin(10, child), 0);
  EXPECT_EQ(yx::test::ReadFile(target), "kept\nmore\n");
}

TEST(PosixFileTest, ErrnoValuesBecomeWindowsCodes) {
  ScopedTempDir dir;
  EXPECT_EQ(OpenCode(dir.File(std::string(300, 'n')), kR, 0, plat::kOpenExisting),
            plat::kErrorFilenameExcedRange);
  const std::string name = dir.File("made.txt");
  yx::test::WriteFile(name, "");
  // A file in place of a directory of the path.
  EXPECT_EQ(OpenCode(name + "/x", kR, 0, plat::kOpenExisting), plat::kErrorPathNotFound);
  if (geteuid() != 0) {  // root may open anything
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    EXPECT_EQ(OpenCode(name, kR, kShareRW, plat::kOpenExisting), plat::kErrorAccessDenied);
  }
}

// What the process holds: open descriptors, shared mappings (mutex
// segments) and heap bytes in use.
struct Holdings {
  int descriptors = 0;
  int sharedMappings = 0;
  size_t heap = 0;
};

Holdings Now() {
  Holdings h;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds) != nullptr) ++h.descriptors;
    closedir(fds);
  }
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/dev/shm/") != std::string::npos || line.find("/dev/zero") != std::string::npos) {
      ++h.sharedMappings;
    }
  }
  h.heap = mallinfo2().uordblks;  // 0 under the address sanitizer, whose leak check stands in
  return h;
}

// Every service of one thread that opens descriptors, maps segments or
// allocates, on its paths of success and of failure, gives all of it back.
TEST(PosixLeakTest, ServicesGiveBackDescriptorsMappingsAndMemory) {
  ScopedTempDir dir;
  const std::string file = dir.File("a.log");
  const std::string fifo = dir.File("fifo.wli");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string mutexName = UniqueName("leak");
  auto round = [&] {
    plat::FileHandle held = MustOpen(file, kW, kShareR, plat::kOpenAlways);
    ASSERT_EQ(plat::WriteAll(held, "x", 1), 0u);
    for (const std::string& name : {file, fifo, dir.Path().string(), dir.File("missing"), dir.File("no/x")}) {
      EXPECT_NE(OpenCode(name, kW, kShareR, plat::kOpenExisting), 0u);
    }
    EXPECT_EQ(plat::DeleteFileByName(file.c_str()), plat::kErrorSharingViolation);
    plat::SystemTime time;
    EXPECT_EQ(plat::LastWriteTimeLocal(file.c_str(), &time), 0u);
    EXPECT_EQ(plat::CloseFile(held), 0u);
    MutexHandle named = nullptr;
    MutexHandle unnamed = nullptr;
    MutexHandle missing = nullptr;
    ASSERT_EQ(plat::CreateNamedMutex(mutexName.c_str(), &named), 0u);
    ASSERT_EQ(plat::CreateNamedMutex(nullptr, &unnamed), 0u);
    EXPECT_EQ(plat::OpenNamedMutex(UniqueName("missing").c_str(), &missing), plat::kErrorFileNotFound);
    for (MutexHandle m : {named, unnamed}) {
      EXPECT_EQ(plat::WaitMutex(m, 0), 0u);
      EXPECT_EQ(plat::WaitMutex(m, 10), 0u);
      EXPECT_EQ(plat::ReleaseMutexHandle(m), 0u);
      EXPECT_EQ(plat::ReleaseMutexHandle(m), 0u);
      EXPECT_EQ(plat::CloseMutexHandle(m), 0u);
    }
    plat::EventHandle event = plat::CreateEventObject(false, true);
    EXPECT_EQ(plat::WaitEventObject(event, 0), 0u);
    EXPECT_EQ(plat::CloseEventObject(event), 0u);
  };
  round();  // what is made once, on first use, stays
  const Holdings before = Now();
  constexpr int kRounds = 40;
  for (int i = 0; i < kRounds; ++i) round();
  const Holdings after = Now();
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.sharedMappings, before.sharedMappings);
  EXPECT_LT(after.heap, before.heap + kRounds * 8) << "grew by " << after.heap - before.heap;
}

TEST(PosixThreadTest, PostToAFullQueueFailsWith1816) {
  plat::EventHandle ready = plat::CreateEventObject(true, false);
  plat::EventHandle drain = plat::CreateEventObject(true, false);
  TestThread thread([&] {
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    plat::WaitEventObject(drain, plat::kInfinite);
    plat::ThreadMessage message;
    uint32_t received = 0;
    while (plat::GetThreadMessage(&message) > 0) ++received;
    return received;
  });
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  for (int i = 0; i < 9999; ++i) ASSERT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser, i, 0));
  EXPECT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmQuit, 0, 0));
  EXPECT_FALSE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorNotEnoughQuota);
  plat::SetEventObject(drain);
  EXPECT_EQ(thread.Join(), 9999u);
  plat::CloseEventObject(ready);
  plat::CloseEventObject(drain);
}

}  // namespace

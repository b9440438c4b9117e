// The logger's platform services where only POSIX can test them: several
// processes (fork, exec, SIGKILL), files beyond 4 GiB and a full disk.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Mutex.h"
#include "plat/Process.h"
#include "plat/Thread.h"
#include "platform/log_platform_support.h"

namespace {

using plat::MutexHandle;
using yxtest::ScopedTempDir;
using yxtest::UniqueName;

constexpr uint32_t kShareReadWrite = plat::kFileShareRead | plat::kFileShareWrite;

// A one-byte channel between a parent and a forked child.
class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe(fds_), 0); }
  ~Pipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Send(char c) { EXPECT_EQ(write(fds_[1], &c, 1), 1); }
  // The next byte, or 0 when the writing end is closed.
  char Receive() {
    char c = 0;
    return read(fds_[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int fds_[2] = {-1, -1};
};

// Waits for the child and returns its exit status (-1 when it did not exit).
int ExitStatus(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(PosixProcessTest, ChildOfForkHasItsOwnIds) {
  const uint32_t parentPid = plat::CurrentProcessId();
  const uint32_t parentTid = plat::CurrentThreadId();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = plat::CurrentProcessId() == static_cast<uint32_t>(getpid()) &&
              plat::CurrentThreadId() == static_cast<uint32_t>(syscall(SYS_gettid)) &&
              plat::CurrentProcessId() != parentPid && plat::CurrentThreadId() != parentTid;
    _exit(ok ? 0 : 1);
  }
  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_EQ(plat::CurrentProcessId(), parentPid);
}

TEST(PosixProcessTest, ChildOfForkHasAWorkingMessageQueue) {
  plat::EventHandle ready = plat::CreateEventObject(true, false);
  yxtest::TestThread waiter([ready] {
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    plat::ThreadMessage message;
    while (plat::GetThreadMessage(&message) > 0) {
    }
    return 0u;
  });
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  plat::EnsureMessageQueue();
  pid_t child = fork();  // while the waiter waits for a message
  ASSERT_GE(child, 0);
  if (child == 0) {
    plat::ThreadMessage message = {};
    bool ok = !plat::PostThreadMessageTo(waiter.Id(), plat::kWmUser, 0, 0) &&  // no such thread here
              plat::PostThreadMessageTo(plat::CurrentThreadId(), plat::kWmUser + 4, 4, 0) &&
              plat::GetThreadMessage(&message) > 0 && message.message == plat::kWmUser + 4;
    _exit(ok ? 0 : 1);
  }
  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_TRUE(plat::PostThreadMessageTo(waiter.Id(), plat::kWmQuit, 0, 0));
  EXPECT_EQ(waiter.Join(), 0u);
  plat::CloseEventObject(ready);
}

// Run in a child started by CommandLineQuotesEmptyArgumentsAndArgumentsWithBlanks:
// writes the command line to the file the environment names.
TEST(PosixProcessTest, ChildWritesItsCommandLine) {
  const char* out = std::getenv("YX_TEST_CMDLINE_OUT");
  if (out == nullptr) GTEST_SKIP() << "only run as the child of another test";
  std::ofstream(out, std::ios::binary) << plat::CommandLine();
}

TEST(PosixProcessTest, CommandLineQuotesEmptyArgumentsAndArgumentsWithBlanks) {
  ScopedTempDir dir;
  const std::string out = dir.File("cmdline.txt");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("YX_TEST_CMDLINE_OUT", out.c_str(), 1);
    const char* argv[] = {"/opt/my tools/yxtk",
                          "--gtest_filter=PosixProcessTest.ChildWritesItsCommandLine",
                          "",
                          "a b",
                          "plain",
                          nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(127);
  }
  ASSERT_EQ(ExitStatus(child), 0);
  std::ifstream in(out, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(
      text.str(),
      "\"/opt/my tools/yxtk\" --gtest_filter=PosixProcessTest.ChildWritesItsCommandLine \"\" \"a b\" plain");
}

TEST(PosixMutexTest, MutexOfAKilledChildIsAbandonedAndAcquired) {
  const std::string name = UniqueName("killed");
  MutexHandle mutex = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u);
  Pipe locked;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MutexHandle own = nullptr;
    if (plat::OpenNamedMutex(name.c_str(), &own) != 0 || plat::WaitMutex(own, plat::kInfinite) != 0) _exit(1);
    locked.Send('L');
    for (;;) pause();
  }
  ASSERT_EQ(locked.Receive(), 'L');
  EXPECT_EQ(plat::WaitMutex(mutex, 0), plat::kErrorWaitTimeout);
  kill(child, SIGKILL);
  EXPECT_EQ(ExitStatus(child), -1);
  EXPECT_EQ(plat::WaitMutex(mutex, plat::kInfinite), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
  // The killed child never closed its handle; the object is gone all the same.
  MutexHandle gone = nullptr;
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &gone), plat::kErrorFileNotFound);
}

TEST(PosixMutexTest, WaiterInAnotherProcessGetsTheMutexWhenItsOwnerIsKilled) {
  const std::string name = UniqueName("killed2");
  MutexHandle mutex = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u);
  Pipe locked;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MutexHandle own = nullptr;
    if (plat::CreateNamedMutex(name.c_str(), &own) != 0 || plat::WaitMutex(own, plat::kInfinite) != 0)
      _exit(1);
    locked.Send('L');
    for (;;) pause();
  }
  ASSERT_EQ(locked.Receive(), 'L');
  // Kill the owner while this process waits with a time limit.
  pid_t killer = fork();
  ASSERT_GE(killer, 0);
  if (killer == 0) {
    usleep(100 * 1000);
    kill(child, SIGKILL);
    _exit(0);
  }
  EXPECT_EQ(plat::WaitMutex(mutex, 20000), 0u);
  EXPECT_EQ(ExitStatus(killer), 0);
  EXPECT_EQ(ExitStatus(child), -1);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
}

TEST(PosixMutexTest, TwoProcessesSerialiseIncrementsOfASharedCounter) {
  const std::string name = UniqueName("counter");
  MutexHandle mutex = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u);
  void* page = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  volatile int* counter = static_cast<volatile int*>(page);
  *counter = 0;
  constexpr int kRounds = 2000;
  // Read, yield, write: without the mutex the two processes lose increments.
  auto count = [&](MutexHandle m) {
    for (int i = 0; i < kRounds; ++i) {
      if (plat::WaitMutex(m, plat::kInfinite) != 0) return false;
      int value = *counter;
      sched_yield();
      *counter = value + 1;
      if (plat::ReleaseMutexHandle(m) != 0) return false;
    }
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MutexHandle own = nullptr;
    if (plat::CreateNamedMutex(name.c_str(), &own) != 0) _exit(1);
    bool ok = count(own);
    plat::CloseMutexHandle(own);
    _exit(ok ? 0 : 2);
  }
  EXPECT_TRUE(count(mutex));
  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_EQ(*counter, 2 * kRounds);
  munmap(page, sizeof(int));
  plat::CloseMutexHandle(mutex);
}

// Each round creates, takes, releases and closes the mutex, so the object
// keeps vanishing with one process's last close while the other process
// creates or opens it: the two must still always meet in one object.
TEST(PosixMutexTest, ProcessesThatCreateAndCloseEachRoundStillShareOneMutex) {
  const std::string name = UniqueName("churn");
  void* page = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  volatile int* counter = static_cast<volatile int*>(page);
  *counter = 0;
  constexpr int kRounds = 500;
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
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(count() ? 0 : 2);
  EXPECT_TRUE(count());
  EXPECT_EQ(ExitStatus(child), 0);
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
TEST(PosixMutexTest, OpenThatRacesTheLastCloseFindsNoMutex) {
  const std::string name = UniqueName("race");
  const std::string path = "/dev/shm/" + name;
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
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(closer);  // the lock stays the parent's alone
    MutexHandle opened = nullptr;
    uint32_t code = plat::OpenNamedMutex(name.c_str(), &opened);
    _exit(code == plat::kErrorFileNotFound ? 0 : static_cast<int>(code & 0x7F) + 1);
  }
  // ... let the opener come to wait for it, then unlink and release it.
  bool waiting = false;
  for (int i = 0; i < 10000 && !waiting; ++i) {
    waiting = SomeoneWaitsForLock(info.st_ino, 1);
    if (!waiting) usleep(1000);
  }
  EXPECT_TRUE(waiting);
  EXPECT_EQ(unlink(path.c_str()), 0);
  close(closer);
  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
}

TEST(PosixMutexTest, MutexClosedInAllProcessesIsGone) {
  const std::string name = UniqueName("gone");
  MutexHandle mutex = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u);
  Pipe opened;
  Pipe finish;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MutexHandle own = nullptr;
    if (plat::OpenNamedMutex(name.c_str(), &own) != 0) _exit(1);
    opened.Send('O');
    finish.Receive();
    _exit(plat::CloseMutexHandle(own) == 0 ? 0 : 2);
  }
  ASSERT_EQ(opened.Receive(), 'O');
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
  MutexHandle probe = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(name.c_str(), &probe), 0u);  // the child's handle keeps it
  EXPECT_EQ(plat::CloseMutexHandle(probe), 0u);
  finish.Send('F');
  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &probe), plat::kErrorFileNotFound);
}

TEST(PosixFileTest, SharingHoldsBetweenProcesses) {
  ScopedTempDir dir;
  const std::string name = dir.File("shared.log");
  Pipe opened;
  Pipe finish;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    plat::FileHandle file = nullptr;
    if (plat::OpenFile(name.c_str(), plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways, &file) !=
        0) {
      _exit(1);
    }
    opened.Send('O');
    finish.Receive();
    _exit(plat::CloseFile(file) == 0 ? 0 : 2);
  }
  ASSERT_EQ(opened.Receive(), 'O');
  plat::FileHandle file = nullptr;
  EXPECT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways, &file),
            plat::kErrorSharingViolation);
  EXPECT_EQ(
      plat::OpenFile(name.c_str(), plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting, &file),
      plat::kErrorSharingViolation);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), plat::kErrorSharingViolation);
  ASSERT_EQ(plat::OpenFile(name.c_str(), plat::kGenericRead, kShareReadWrite, plat::kOpenExisting, &file),
            0u);
  plat::CloseFile(file);
  ASSERT_EQ(plat::OpenFile(name.c_str(), 0, 0, plat::kOpenExisting, &file), 0u);
  plat::CloseFile(file);
  finish.Send('F');
  EXPECT_EQ(ExitStatus(child), 0);
  ASSERT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways, &file),
            0u);
  plat::CloseFile(file);
}

TEST(PosixFileTest, SharingLocksVanishWithAKilledProcess) {
  ScopedTempDir dir;
  const std::string name = dir.File("killed.log");
  Pipe opened;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    plat::FileHandle file = nullptr;
    if (plat::OpenFile(name.c_str(), plat::kGenericWrite, 0, plat::kOpenAlways, &file) != 0) _exit(1);
    opened.Send('O');
    for (;;) pause();
  }
  ASSERT_EQ(opened.Receive(), 'O');
  plat::FileHandle file = nullptr;
  EXPECT_EQ(plat::OpenFile(name.c_str(), plat::kGenericRead, kShareReadWrite, plat::kOpenExisting, &file),
            plat::kErrorSharingViolation);
  kill(child, SIGKILL);
  ExitStatus(child);
  ASSERT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, 0, plat::kOpenExisting, &file), 0u);
  plat::CloseFile(file);
}

TEST(PosixFileTest, SeekToEndWorksBeyond4GiB) {
  ScopedTempDir dir;
  const std::string name = dir.File("big.log");
  const uint64_t size = (5ull << 30) + 7;  // sparse: no disk space is used
  { std::ofstream create(name); }
  ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(size)), 0);
  plat::FileHandle file = nullptr;
  ASSERT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways, &file),
            0u);
  uint64_t position = 0;
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, size);
  EXPECT_EQ(plat::WriteAll(file, "end", 3), 0u);
  uint64_t newSize = 0;
  EXPECT_EQ(plat::FileSize(file, &newSize), 0u);
  EXPECT_EQ(newSize, size + 3);
  plat::CloseFile(file);
}

TEST(PosixFileTest, WriteToAFullDiskFailsWith112) {
  plat::FileHandle file = nullptr;
  ASSERT_EQ(plat::OpenFile("/dev/full", plat::kGenericWrite, kShareReadWrite, plat::kOpenExisting, &file),
            0u);
  EXPECT_EQ(plat::WriteAll(file, "line\r\n", 6), plat::kErrorDiskFull);
  EXPECT_EQ(plat::LastError(), plat::kErrorDiskFull);
  plat::CloseFile(file);
}

TEST(PosixFileTest, ErrnoValuesBecomeWindowsCodes) {
  ScopedTempDir dir;
  plat::FileHandle file = nullptr;
  const std::string longName = dir.File(std::string(300, 'n'));
  EXPECT_EQ(plat::OpenFile(longName.c_str(), plat::kGenericRead, 0, plat::kOpenExisting, &file),
            plat::kErrorFilenameExcedRange);
  const std::string name = dir.File("made.txt");
  ASSERT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, 0, plat::kCreateNew, &file), 0u);
  plat::CloseFile(file);
  EXPECT_EQ(plat::OpenFile(name.c_str(), plat::kGenericWrite, 0, plat::kCreateNew, &file),
            plat::kErrorFileExists);
  // A file in place of a directory of the path.
  EXPECT_EQ(plat::OpenFile((name + "/x").c_str(), plat::kGenericRead, 0, plat::kOpenExisting, &file),
            plat::kErrorPathNotFound);
  if (geteuid() != 0) {  // root may open anything
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    EXPECT_EQ(plat::OpenFile(name.c_str(), plat::kGenericRead, kShareReadWrite, plat::kOpenExisting, &file),
              plat::kErrorAccessDenied);
  }
}

TEST(PosixThreadTest, PostToAFullQueueFailsWith1816) {
  plat::EventHandle ready = plat::CreateEventObject(true, false);
  plat::EventHandle drain = plat::CreateEventObject(true, false);
  yxtest::TestThread thread([&] {
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

// The calling process and thread: ids, the command line, sleeping.

#include <gtest/gtest.h>

#include <string>

#include "plat/Clock.h"
#include "plat/Process.h"
#include "platform/log_platform_support.h"

namespace {

using yxtest::TestThread;

TEST(ProcessTest, IdsAreStableAndThreadsDiffer) {
  const uint32_t pid = plat::CurrentProcessId();
  const uint32_t tid = plat::CurrentThreadId();
  EXPECT_NE(pid, 0u);
  EXPECT_NE(tid, 0u);
  uint32_t otherPid = 0;
  uint32_t otherTid = 0;
  TestThread thread([&] {
    otherPid = plat::CurrentProcessId();
    otherTid = plat::CurrentThreadId();
    return 0u;
  });
  thread.Join();
  EXPECT_EQ(otherPid, pid);
  EXPECT_NE(otherTid, tid);
  EXPECT_EQ(otherTid, thread.Id());
  EXPECT_EQ(plat::CurrentThreadId(), tid);
}

// Argument 0 of a command line, read as the logger reads it.
std::string ArgumentZero(const std::string& line) {
  bool quoted = false;
  size_t end = 0;
  while (end < line.size() && (quoted || line[end] != ' ')) {
    if (line[end] == '"') quoted = !quoted;
    ++end;
  }
  std::string arg = line.substr(0, end);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') arg = arg.substr(1, arg.size() - 2);
  return arg;
}

TEST(ProcessTest, ArgumentZeroOfTheCommandLineNamesThisProgram) {
  const char* line = plat::CommandLine();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(plat::CommandLine(), line);  // computed once
  std::string program = ArgumentZero(line);
  size_t slash = program.find_last_of("/\\");
  std::string file = slash == std::string::npos ? program : program.substr(slash + 1);
  EXPECT_EQ(file.substr(0, file.find('.')), "platform_log_test") << line;
}

TEST(ProcessTest, SleepDoesNotReturnEarly) {
  const uint32_t start = plat::TickCount();
  plat::Sleep(0);
  plat::Sleep(60);
  // The tick counter may step by up to 16 ms on Windows.
  EXPECT_GE(plat::TickCount() - start, 40u);
}

}  // namespace

// Threads, thread message queues and thread timers.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/Mutex.h"
#include "plat/Process.h"
#include "plat/Thread.h"
#include "platform/log_platform_support.h"

namespace {

using plat::EventHandle;
using plat::ThreadMessage;
using yxtest::TestThread;

TEST(ThreadTest, WaitTimesOutWhileTheThreadRunsAndSucceedsAfterItsEnd) {
  EventHandle go = plat::CreateEventObject(true, false);
  TestThread thread([go] { return plat::WaitEventObject(go, plat::kInfinite) == 0 ? 7u : 1u; });
  ASSERT_EQ(thread.CreateResult(), 0u);
  EXPECT_NE(thread.Id(), 0u);
  EXPECT_EQ(plat::WaitThread(thread.Handle(), 0), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::WaitThread(thread.Handle(), 30), plat::kErrorWaitTimeout);
  plat::SetEventObject(go);
  EXPECT_EQ(plat::WaitThread(thread.Handle(), plat::kInfinite), 0u);
  EXPECT_EQ(plat::WaitThread(thread.Handle(), 0), 0u);  // again, after the end
  EXPECT_EQ(plat::WaitThread(thread.Handle(), 10), 0u);
  EXPECT_EQ(thread.Join(), 7u);
  plat::CloseEventObject(go);
}

TEST(ThreadTest, ClosingTheHandleLeavesTheThreadRunning) {
  struct Context {
    EventHandle go = plat::CreateEventObject(true, false);
    std::atomic<bool> done{false};
  } context;
  uint32_t id = 0;
  plat::ThreadHandle handle = nullptr;
  auto proc = [](void* param) -> uint32_t {
    auto* c = static_cast<Context*>(param);
    plat::WaitEventObject(c->go, plat::kInfinite);
    c->done = true;  // the thread's last touch of the context
    return 0;
  };
  ASSERT_EQ(plat::CreateThreadObject(proc, &context, &id, &handle), 0u);
  EXPECT_EQ(plat::CloseThreadHandle(handle), 0u);
  plat::SetEventObject(context.go);
  for (int i = 0; i < 10000 && !context.done; ++i) plat::Sleep(1);
  EXPECT_TRUE(context.done);
  plat::CloseEventObject(context.go);
}

// A posted message reaches a thread only once it has a queue; then messages
// arrive in order with their parameters, and WM_QUIT ends the loop; after
// the thread's end posting fails again.
TEST(ThreadMessageTest, QueueLifeOrderAndQuit) {
  EventHandle makeQueue = plat::CreateEventObject(true, false);
  EventHandle ready = plat::CreateEventObject(true, false);
  std::vector<ThreadMessage> received;
  ThreadMessage quit = {};
  int quitResult = -2;
  TestThread thread([&] {
    plat::WaitEventObject(makeQueue, plat::kInfinite);
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    ThreadMessage message;
    while ((quitResult = plat::GetThreadMessage(&message)) > 0) received.push_back(message);
    quit = message;
    return 0u;
  });
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser + 1, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);
  plat::SetEventObject(makeQueue);
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  for (uint32_t i = 0; i < 50; ++i) {
    ASSERT_TRUE(
        plat::PostThreadMessageTo(thread.Id(), plat::kWmUser + 1 + (i % 3), i, -static_cast<intptr_t>(i)));
  }
  EXPECT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmQuit, 5, 0));
  EXPECT_EQ(thread.Join(), 0u);
  ASSERT_EQ(received.size(), 50u);
  for (uint32_t i = 0; i < 50; ++i) {
    EXPECT_EQ(received[i].message, plat::kWmUser + 1 + (i % 3));
    EXPECT_EQ(received[i].wParam, i);
    EXPECT_EQ(received[i].lParam, -static_cast<intptr_t>(i));
  }
  EXPECT_EQ(quitResult, 0);
  EXPECT_EQ(quit.message, plat::kWmQuit);
  EXPECT_EQ(quit.wParam, 5u);
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);
  plat::CloseEventObject(makeQueue);
  plat::CloseEventObject(ready);
}

// Posting makes the poster's own queue, as the first message call of a
// thread does on Windows, so a thread can post to itself at once.
TEST(ThreadMessageTest, ThreadCanPostToItself) {
  TestThread thread([] {
    if (!plat::PostThreadMessageTo(plat::CurrentThreadId(), plat::kWmUser + 9, 1, 2)) return 1u;
    ThreadMessage message;
    if (plat::GetThreadMessage(&message) <= 0 || message.message != plat::kWmUser + 9) return 2u;
    return 0u;
  });
  EXPECT_EQ(thread.Join(), 0u);
}

// Threads that make their queues and post to one receiver all at once: every
// message arrives once, in each poster's order.
TEST(ThreadMessageTest, ConcurrentPostersLoseNothing) {
  constexpr uintptr_t kPosters = 4;
  constexpr intptr_t kMessages = 2000;
  EventHandle ready = plat::CreateEventObject(true, false);
  std::vector<intptr_t> next(kPosters, 0);
  TestThread receiver([&] {
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    ThreadMessage message;
    while (plat::GetThreadMessage(&message) > 0) {
      if (message.wParam >= kPosters || message.lParam != next[message.wParam]++) return 1u;
    }
    return 0u;
  });
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  std::vector<std::unique_ptr<TestThread>> posters;
  for (uintptr_t p = 0; p < kPosters; ++p) {
    posters.push_back(std::make_unique<TestThread>([&receiver, p] {
      for (intptr_t i = 0; i < kMessages; ++i) {
        if (!plat::PostThreadMessageTo(receiver.Id(), plat::kWmUser, p, i)) return 1u;
      }
      return 0u;
    }));
  }
  for (auto& poster : posters) EXPECT_EQ(poster->Join(), 0u);
  EXPECT_TRUE(plat::PostThreadMessageTo(receiver.Id(), plat::kWmQuit, 0, 0));
  EXPECT_EQ(receiver.Join(), 0u);
  for (uintptr_t p = 0; p < kPosters; ++p) EXPECT_EQ(next[p], kMessages) << p;
  plat::CloseEventObject(ready);
}

// Two timers of one thread deliver their own ids, again and again, after
// the messages posted meanwhile; a killed timer delivers nothing more.
TEST(ThreadTimerTest, TimersDeliverTheirIdsUntilKilled) {
  struct Outcome {
    int fast = 0, slow = 0, foreign = 0, lateTicks = 0;
    bool postedFirst = false, killed = false, killedTwice = true;
  } outcome;
  TestThread thread([&] {
    const uintptr_t fast = plat::SetThreadTimer(10);
    const uintptr_t slow = plat::SetThreadTimer(30);
    if (fast == 0 || slow == 0 || fast == slow) return 1u;
    plat::Sleep(40);  // both timers come due; the order is what is tested
    plat::PostThreadMessageTo(plat::CurrentThreadId(), plat::kWmUser + 3, 0, 0);
    ThreadMessage message;
    if (plat::GetThreadMessage(&message) <= 0) return 2u;
    outcome.postedFirst = message.message == plat::kWmUser + 3;
    while (outcome.fast < 3 || outcome.slow < 2) {
      if (plat::GetThreadMessage(&message) <= 0) return 3u;
      int& count = message.message != plat::kWmTimer ? outcome.foreign
                   : message.wParam == fast          ? outcome.fast
                   : message.wParam == slow          ? outcome.slow
                                                     : outcome.foreign;
      ++count;
    }
    outcome.killed = plat::KillThreadTimer(fast) && plat::KillThreadTimer(slow);
    outcome.killedTwice = plat::KillThreadTimer(fast);
    // Several periods of the killed timers pass before this one comes due.
    const uintptr_t watch = plat::SetThreadTimer(60);
    for (;;) {
      if (plat::GetThreadMessage(&message) <= 0) return 4u;
      if (message.message != plat::kWmTimer) continue;
      if (message.wParam == watch) break;
      ++outcome.lateTicks;
    }
    plat::KillThreadTimer(watch);
    return 0u;
  });
  EXPECT_EQ(thread.Join(), 0u);
  EXPECT_TRUE(outcome.postedFirst);
  EXPECT_EQ(outcome.foreign, 0);
  EXPECT_TRUE(outcome.killed);
  EXPECT_FALSE(outcome.killedTwice);
  EXPECT_EQ(outcome.lateTicks, 0);
}

}  // namespace

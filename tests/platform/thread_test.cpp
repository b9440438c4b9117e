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

// A wait for a running thread times out, and succeeds after its end, again
// and again; closing the handle of a running thread leaves it running.
TEST(ThreadTest, WaitsForARunningThreadAndClosingItsHandle) {
  struct Context {
    EventHandle go = plat::CreateEventObject(true, false);
    std::atomic<bool> done{false};
  } context;
  TestThread waited([&context] { return plat::WaitEventObject(context.go, plat::kInfinite) == 0 ? 7u : 1u; });
  uint32_t id = 0;
  plat::ThreadHandle closed = nullptr;
  auto proc = [](void* param) -> uint32_t {
    auto* c = static_cast<Context*>(param);
    plat::WaitEventObject(c->go, plat::kInfinite);
    c->done = true;  // the thread's last touch of the context
    return 0;
  };
  ASSERT_EQ(plat::CreateThreadObject(proc, &context, &id, &closed), 0u);
  EXPECT_EQ(plat::CloseThreadHandle(closed), 0u);
  EXPECT_NE(waited.Id(), 0u);
  EXPECT_EQ(plat::WaitThread(waited.Handle(), 0), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::WaitThread(waited.Handle(), 30), plat::kErrorWaitTimeout);
  plat::SetEventObject(context.go);
  EXPECT_EQ(plat::WaitThread(waited.Handle(), plat::kInfinite), 0u);
  EXPECT_EQ(plat::WaitThread(waited.Handle(), 10), 0u);  // again, after the end
  EXPECT_EQ(waited.Join(), 7u);
  for (int i = 0; i < 10000 && !context.done; ++i) plat::Sleep(1);
  EXPECT_TRUE(context.done);
  plat::CloseEventObject(context.go);
}

// A posted message reaches a thread only once it has a queue. Then threads
// that post to it all at once lose nothing: every message arrives once, in
// each poster's order, with its parameters, and WM_QUIT ends the loop.
// After the thread's end posting fails again.
TEST(ThreadMessageTest, ConcurrentPostersLoseNothingAndQuitEndsTheLoop) {
  constexpr uintptr_t kPosters = 4;
  constexpr intptr_t kMessages = 2000;
  EventHandle makeQueue = plat::CreateEventObject(true, false);
  EventHandle ready = plat::CreateEventObject(true, false);
  std::vector<intptr_t> next(kPosters, 0);
  ThreadMessage message = {};
  TestThread receiver([&] {
    plat::WaitEventObject(makeQueue, plat::kInfinite);
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    int got;
    while ((got = plat::GetThreadMessage(&message)) > 0) {
      if (message.wParam >= kPosters || message.message != plat::kWmUser + message.wParam ||
          message.lParam != -next[message.wParam]++) {
        return 1u;
      }
    }
    return got == 0 ? 0u : 2u;
  });
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(receiver.Id(), plat::kWmUser, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);
  plat::SetEventObject(makeQueue);
  ASSERT_EQ(plat::WaitEventObject(ready, 10000), 0u);
  std::vector<std::unique_ptr<TestThread>> posters;
  for (uintptr_t p = 0; p < kPosters; ++p) {
    posters.push_back(std::make_unique<TestThread>([&receiver, p] {
      for (intptr_t i = 0; i < kMessages; ++i) {
        if (!plat::PostThreadMessageTo(receiver.Id(), plat::kWmUser + p, p, -i)) return 1u;
      }
      return 0u;
    }));
  }
  for (auto& poster : posters) EXPECT_EQ(poster->Join(), 0u);
  EXPECT_TRUE(plat::PostThreadMessageTo(receiver.Id(), plat::kWmQuit, 5, 0));
  EXPECT_EQ(receiver.Join(), 0u);
  for (uintptr_t p = 0; p < kPosters; ++p) EXPECT_EQ(next[p], kMessages) << p;
  EXPECT_EQ(message.message, plat::kWmQuit);
  EXPECT_EQ(message.wParam, 5u);
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(receiver.Id(), plat::kWmUser, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);
  plat::CloseEventObject(makeQueue);
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

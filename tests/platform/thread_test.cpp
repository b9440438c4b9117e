// Threads, thread message queues and thread timers.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

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
    EventHandle go;
    std::atomic<bool> done;
  } context;
  context.go = plat::CreateEventObject(true, false);
  context.done = false;
  uint32_t id = 0;
  plat::ThreadHandle handle = nullptr;
  auto proc = [](void* param) -> uint32_t {
    auto* c = static_cast<Context*>(param);
    plat::WaitEventObject(c->go, plat::kInfinite);
    c->done = true;  // the thread's last touch of the context
    return 0;
  };
  ASSERT_EQ(plat::CreateThreadObject(proc, &context, &id, &handle), 0u);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(plat::CloseThreadHandle(handle), 0u);
  plat::SetEventObject(context.go);
  for (int i = 0; i < 10000 && !context.done; ++i) plat::Sleep(1);
  EXPECT_TRUE(context.done);
  plat::CloseEventObject(context.go);
}

// A thread that makes its queue only when told to, reports that, and then
// records every message until WM_QUIT.
struct Receiver {
  EventHandle makeQueue = plat::CreateEventObject(true, false);
  EventHandle ready = plat::CreateEventObject(true, false);
  std::vector<ThreadMessage> received;
  int quitResult = -2;
  ThreadMessage quit = {};

  ~Receiver() {
    plat::CloseEventObject(makeQueue);
    plat::CloseEventObject(ready);
  }

  uint32_t Run() {
    plat::WaitEventObject(makeQueue, plat::kInfinite);
    plat::EnsureMessageQueue();
    plat::SetEventObject(ready);
    ThreadMessage message;
    int result;
    while ((result = plat::GetThreadMessage(&message)) > 0) received.push_back(message);
    quitResult = result;
    quit = message;
    return 0;
  }
};

TEST(ThreadMessageTest, PostFailsWith1444UntilTheQueueExists) {
  Receiver receiver;
  TestThread thread([&] { return receiver.Run(); });
  ASSERT_EQ(thread.CreateResult(), 0u);
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser + 1, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);

  plat::SetEventObject(receiver.makeQueue);
  ASSERT_EQ(plat::WaitEventObject(receiver.ready, 10000), 0u);
  EXPECT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser + 1, 0, 0));
  EXPECT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmQuit, 0, 0));
  EXPECT_EQ(thread.Join(), 0u);
  ASSERT_EQ(receiver.received.size(), 1u);
  EXPECT_EQ(receiver.received[0].message, plat::kWmUser + 1);
}

TEST(ThreadMessageTest, MessagesArriveInOrderWithTheirParametersAndQuitEndsTheLoop) {
  Receiver receiver;
  plat::SetEventObject(receiver.makeQueue);
  TestThread thread([&] { return receiver.Run(); });
  ASSERT_EQ(plat::WaitEventObject(receiver.ready, 10000), 0u);
  for (uint32_t i = 0; i < 50; ++i) {
    ASSERT_TRUE(
        plat::PostThreadMessageTo(thread.Id(), plat::kWmUser + 1 + (i % 3), i, -static_cast<intptr_t>(i)));
  }
  EXPECT_TRUE(plat::PostThreadMessageTo(thread.Id(), plat::kWmQuit, 5, 0));
  EXPECT_EQ(thread.Join(), 0u);
  ASSERT_EQ(receiver.received.size(), 50u);
  for (uint32_t i = 0; i < 50; ++i) {
    EXPECT_EQ(receiver.received[i].message, plat::kWmUser + 1 + (i % 3));
    EXPECT_EQ(receiver.received[i].wParam, i);
    EXPECT_EQ(receiver.received[i].lParam, -static_cast<intptr_t>(i));
  }
  EXPECT_EQ(receiver.quitResult, 0);
  EXPECT_EQ(receiver.quit.message, plat::kWmQuit);
  EXPECT_EQ(receiver.quit.wParam, 5u);
}

TEST(ThreadMessageTest, PosterGetsAQueueOfItsOwn) {
  uint32_t posterId = 0;
  TestThread poster([&] {
    posterId = plat::CurrentThreadId();
    plat::PostThreadMessageTo(posterId + 1000000, plat::kWmUser, 0, 0);  // to nobody
    ThreadMessage message;
    int result = plat::GetThreadMessage(&message);
    return result == 0 && message.message == plat::kWmQuit ? 0u : 1u;
  });
  // The poster may not have posted yet: wait until its queue takes the quit.
  bool posted = false;
  for (int i = 0; i < 10000 && !posted; ++i) {
    posted = plat::PostThreadMessageTo(poster.Id(), plat::kWmQuit, 0, 0);
    if (!posted) plat::Sleep(1);
  }
  EXPECT_TRUE(posted);
  EXPECT_EQ(poster.Join(), 0u);
}

TEST(ThreadMessageTest, PostToAnEndedThreadFailsWith1444) {
  TestThread thread([] {
    plat::EnsureMessageQueue();
    return 0u;
  });
  thread.Join();
  plat::SetLastError(0);
  EXPECT_FALSE(plat::PostThreadMessageTo(thread.Id(), plat::kWmUser, 0, 0));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidThreadId);
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

TEST(ThreadTimerTest, TimerDeliversItsIdRepeatedlyUntilKilled) {
  struct Outcome {
    uintptr_t id = 0;
    int ticks = 0;
    int foreign = 0;
    bool killed = false;
    bool killedTwice = true;
    int lateTicks = 0;
  } outcome;
  TestThread thread([&] {
    outcome.id = plat::SetThreadTimer(20);
    if (outcome.id == 0) return 1u;
    ThreadMessage message;
    while (outcome.ticks < 3) {
      if (plat::GetThreadMessage(&message) <= 0) return 2u;
      if (message.message == plat::kWmTimer && message.wParam == outcome.id) {
        ++outcome.ticks;
      } else {
        ++outcome.foreign;
      }
    }
    outcome.killed = plat::KillThreadTimer(outcome.id);
    outcome.killedTwice = plat::KillThreadTimer(outcome.id);
    // Five periods of the killed timer pass before this one comes due.
    uintptr_t watch = plat::SetThreadTimer(100);
    for (;;) {
      if (plat::GetThreadMessage(&message) <= 0) return 3u;
      if (message.message != plat::kWmTimer) continue;
      if (message.wParam == watch) break;
      ++outcome.lateTicks;
    }
    plat::KillThreadTimer(watch);
    return 0u;
  });
  EXPECT_EQ(thread.Join(), 0u);
  EXPECT_NE(outcome.id, 0u);
  EXPECT_EQ(outcome.ticks, 3);
  EXPECT_EQ(outcome.foreign, 0);
  EXPECT_TRUE(outcome.killed);
  EXPECT_FALSE(outcome.killedTwice);
  EXPECT_EQ(outcome.lateTicks, 0);
}

TEST(ThreadTimerTest, PostedMessagesComeBeforeTimerMessages) {
  TestThread thread([] {
    uintptr_t timer = plat::SetThreadTimer(10);
    plat::Sleep(60);  // lets the timer come due; the order is what is tested
    if (!plat::PostThreadMessageTo(plat::CurrentThreadId(), plat::kWmUser + 3, 0, 0)) return 1u;
    ThreadMessage message;
    if (plat::GetThreadMessage(&message) <= 0 || message.message != plat::kWmUser + 3) return 2u;
    if (plat::GetThreadMessage(&message) <= 0 || message.message != plat::kWmTimer ||
        message.wParam != timer) {
      return 3u;
    }
    plat::KillThreadTimer(timer);
    return 0u;
  });
  EXPECT_EQ(thread.Join(), 0u);
}

TEST(ThreadTimerTest, TwoTimersOfOneThreadAreToldApart) {
  int fast = 0;
  int slow = 0;
  TestThread thread([&] {
    uintptr_t a = plat::SetThreadTimer(15);
    uintptr_t b = plat::SetThreadTimer(40);
    if (a == 0 || b == 0 || a == b) return 1u;
    ThreadMessage message;
    while (fast < 3 || slow < 2) {
      if (plat::GetThreadMessage(&message) <= 0 || message.message != plat::kWmTimer) return 2u;
      if (message.wParam == a) {
        ++fast;
      } else if (message.wParam == b) {
        ++slow;
      } else {
        return 3u;
      }
    }
    plat::KillThreadTimer(a);
    plat::KillThreadTimer(b);
    return 0u;
  });
  EXPECT_EQ(thread.Join(), 0u);
  EXPECT_GE(fast, 3);
  EXPECT_GE(slow, 2);
}

}  // namespace

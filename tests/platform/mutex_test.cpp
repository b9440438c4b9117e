// The named mutex and the event: recursion, ownership, timeouts,
// abandonment by a thread that ended, and the lifetime of the named object.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "plat/Error.h"
#include "plat/Mutex.h"
#include "platform/log_platform_support.h"

namespace {

using plat::EventHandle;
using plat::MutexHandle;
using yxtest::TestThread;
using yxtest::UniqueName;

MutexHandle MustCreate(const std::string& name) {
  MutexHandle mutex = nullptr;
  EXPECT_EQ(plat::CreateNamedMutex(name.c_str(), &mutex), 0u) << name;
  EXPECT_NE(mutex, nullptr);
  return mutex;
}

// The result of WaitMutex(mutex, 0) in another thread; an acquisition
// there is released again before the thread ends.
uint32_t TryFromOtherThread(MutexHandle mutex) {
  TestThread thread([mutex] {
    uint32_t code = plat::WaitMutex(mutex, 0);
    if (code == 0) plat::ReleaseMutexHandle(mutex);
    return code;
  });
  EXPECT_EQ(thread.CreateResult(), 0u);
  return thread.Join();
}

TEST(NamedMutexTest, RecursiveForItsOwner) {
  MutexHandle mutex = MustCreate(UniqueName("rec"));
  EXPECT_EQ(plat::WaitMutex(mutex, 0), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, plat::kInfinite), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, 100), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), plat::kErrorWaitTimeout);  // still held once
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
}

TEST(NamedMutexTest, ReleaseByANonOwnerFailsWith288) {
  MutexHandle mutex = MustCreate(UniqueName("own"));
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(plat::LastError(), plat::kErrorNotOwner);
  ASSERT_EQ(plat::WaitMutex(mutex, 0), 0u);
  TestThread other([mutex] { return plat::ReleaseMutexHandle(mutex); });
  EXPECT_EQ(other.Join(), plat::kErrorNotOwner);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);  // the failed release took nothing away
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, WaitTimesOutWhileAnotherThreadHoldsIt) {
  const std::string name = UniqueName("hold");
  MutexHandle mutex = MustCreate(name);
  EventHandle held = plat::CreateEventObject(true, false);
  EventHandle done = plat::CreateEventObject(true, false);
  TestThread holder([&] {
    MutexHandle own = nullptr;
    if (plat::OpenNamedMutex(name.c_str(), &own) != 0) return 1u;
    uint32_t code = plat::WaitMutex(own, plat::kInfinite);
    plat::SetEventObject(held);
    plat::WaitEventObject(done, plat::kInfinite);
    if (code == 0) code = plat::ReleaseMutexHandle(own);
    plat::CloseMutexHandle(own);
    return code;
  });
  ASSERT_EQ(plat::WaitEventObject(held, 10000), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, 0), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::WaitMutex(mutex, 50), plat::kErrorWaitTimeout);
  plat::SetEventObject(done);
  EXPECT_EQ(holder.Join(), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, 10000), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  plat::CloseEventObject(held);
  plat::CloseEventObject(done);
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, WaiterGetsTheMutexWhenTheHolderReleasesIt) {
  MutexHandle mutex = MustCreate(UniqueName("handover"));
  ASSERT_EQ(plat::WaitMutex(mutex, 0), 0u);
  EventHandle waiting = plat::CreateEventObject(true, false);
  TestThread waiter([&] {
    plat::SetEventObject(waiting);
    uint32_t code = plat::WaitMutex(mutex, plat::kInfinite);
    if (code == 0) code = plat::ReleaseMutexHandle(mutex);
    return code;
  });
  ASSERT_EQ(plat::WaitEventObject(waiting, 10000), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(waiter.Join(), 0u);
  plat::CloseEventObject(waiting);
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, MutexOfAnEndedThreadIsAbandonedAndAcquired) {
  MutexHandle mutex = MustCreate(UniqueName("abandon"));
  TestThread owner([mutex] {
    uint32_t first = plat::WaitMutex(mutex, plat::kInfinite);
    uint32_t second = plat::WaitMutex(mutex, plat::kInfinite);
    return first | second;  // ends holding it twice
  });
  ASSERT_EQ(owner.Join(), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, 5000), 0u);
  // The new owner holds it once, whatever the old one's count was.
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(TryFromOtherThread(mutex), 0u);
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, BlockedWaiterGetsTheMutexWhenTheOwnerThreadEnds) {
  MutexHandle mutex = MustCreate(UniqueName("abandon2"));
  EventHandle held = plat::CreateEventObject(true, false);
  EventHandle finish = plat::CreateEventObject(true, false);
  TestThread owner([&] {
    uint32_t code = plat::WaitMutex(mutex, plat::kInfinite);
    plat::SetEventObject(held);
    plat::WaitEventObject(finish, plat::kInfinite);
    return code;
  });
  ASSERT_EQ(plat::WaitEventObject(held, 10000), 0u);
  TestThread waiter([mutex] {
    uint32_t code = plat::WaitMutex(mutex, plat::kInfinite);
    if (code == 0) code = plat::ReleaseMutexHandle(mutex);
    return code;
  });
  plat::SetEventObject(finish);
  EXPECT_EQ(owner.Join(), 0u);
  EXPECT_EQ(waiter.Join(), 0u);
  plat::CloseEventObject(held);
  plat::CloseEventObject(finish);
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, OpenOfAMissingNameFailsWith2) {
  MutexHandle mutex = reinterpret_cast<MutexHandle>(1);
  EXPECT_EQ(plat::OpenNamedMutex(UniqueName("none").c_str(), &mutex), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_EQ(mutex, nullptr);
}

TEST(NamedMutexTest, HandlesOfOneNameShareTheMutex) {
  const std::string name = UniqueName("same");
  MutexHandle created = MustCreate(name);
  MutexHandle again = MustCreate(name);
  MutexHandle opened = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(name.c_str(), &opened), 0u);
  ASSERT_EQ(plat::WaitMutex(created, 0), 0u);
  EXPECT_EQ(TryFromOtherThread(again), plat::kErrorWaitTimeout);
  EXPECT_EQ(TryFromOtherThread(opened), plat::kErrorWaitTimeout);
  // The owner may release through any handle, as the logger's lock handle does.
  EXPECT_EQ(plat::ReleaseMutexHandle(opened), 0u);
  EXPECT_EQ(TryFromOtherThread(again), 0u);
  // A different name is a different mutex.
  MutexHandle other = MustCreate(UniqueName("other"));
  ASSERT_EQ(plat::WaitMutex(created, 0), 0u);
  EXPECT_EQ(TryFromOtherThread(other), 0u);
  plat::ReleaseMutexHandle(created);
  plat::CloseMutexHandle(other);
  plat::CloseMutexHandle(opened);
  plat::CloseMutexHandle(again);
  plat::CloseMutexHandle(created);
}

TEST(NamedMutexTest, ObjectLivesUntilItsLastHandleCloses) {
  const std::string name = UniqueName("life");
  MutexHandle first = MustCreate(name);
  MutexHandle second = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(name.c_str(), &second), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(first), 0u);
  MutexHandle third = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(name.c_str(), &third), 0u);  // kept alive by the second
  EXPECT_EQ(plat::CloseMutexHandle(second), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(third), 0u);
  MutexHandle gone = nullptr;
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &gone), plat::kErrorFileNotFound);
}

TEST(NamedMutexTest, CreateAfterTheLastCloseStartsFresh) {
  const std::string name = UniqueName("fresh");
  EventHandle closed = plat::CreateEventObject(true, false);
  EventHandle finish = plat::CreateEventObject(true, false);
  // The thread owns the mutex and closes its only handle: the object goes,
  // though its owner lives on.
  TestThread owner([&] {
    MutexHandle mutex = nullptr;
    uint32_t code = plat::CreateNamedMutex(name.c_str(), &mutex);
    if (code == 0) code = plat::WaitMutex(mutex, plat::kInfinite);
    if (code == 0) code = plat::CloseMutexHandle(mutex);
    plat::SetEventObject(closed);
    plat::WaitEventObject(finish, plat::kInfinite);
    return code;
  });
  ASSERT_EQ(plat::WaitEventObject(closed, 10000), 0u);
  MutexHandle opened = nullptr;
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &opened), plat::kErrorFileNotFound);
  MutexHandle mutex = MustCreate(name);
  EXPECT_EQ(plat::WaitMutex(mutex, 0), 0u);  // not owned by the living thread
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  plat::SetEventObject(finish);
  EXPECT_EQ(owner.Join(), 0u);
  plat::CloseMutexHandle(mutex);
  plat::CloseEventObject(closed);
  plat::CloseEventObject(finish);
}

TEST(NamedMutexTest, UnnamedMutexesAreSeparate) {
  MutexHandle a = nullptr;
  MutexHandle b = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(nullptr, &a), 0u);
  ASSERT_EQ(plat::CreateNamedMutex("", &b), 0u);
  ASSERT_EQ(plat::WaitMutex(a, 0), 0u);
  EXPECT_EQ(TryFromOtherThread(a), plat::kErrorWaitTimeout);
  EXPECT_EQ(TryFromOtherThread(b), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(a), 0u);
  plat::CloseMutexHandle(a);
  plat::CloseMutexHandle(b);
}

TEST(NamedMutexTest, ThreadsSerialiseThroughTheMutex) {
  MutexHandle mutex = MustCreate(UniqueName("count"));
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  int counter = 0;  // guarded by the mutex only
  auto body = [&] {
    for (int i = 0; i < 300; ++i) {
      if (plat::WaitMutex(mutex, plat::kInfinite) != 0) return 1u;
      if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
      ++counter;
      inside.fetch_sub(1);
      if (plat::ReleaseMutexHandle(mutex) != 0) return 2u;
    }
    return 0u;
  };
  TestThread a(body);
  TestThread b(body);
  TestThread c(body);
  EXPECT_EQ(a.Join(), 0u);
  EXPECT_EQ(b.Join(), 0u);
  EXPECT_EQ(c.Join(), 0u);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(counter, 900);
  plat::CloseMutexHandle(mutex);
}

TEST(EventTest, AutoResetEventLetsOneWaitThrough) {
  EventHandle event = plat::CreateEventObject(false, false);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(plat::WaitEventObject(event, 0), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::WaitEventObject(event, 20), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::SetEventObject(event), 0u);
  EXPECT_EQ(plat::WaitEventObject(event, 0), 0u);
  EXPECT_EQ(plat::WaitEventObject(event, 0), plat::kErrorWaitTimeout);  // cleared by the wait
  EXPECT_EQ(plat::CloseEventObject(event), 0u);
}

TEST(EventTest, ManualResetEventStaysSetUntilReset) {
  EventHandle event = plat::CreateEventObject(true, true);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(plat::WaitEventObject(event, 0), 0u);
  EXPECT_EQ(plat::WaitEventObject(event, plat::kInfinite), 0u);
  EXPECT_EQ(plat::ResetEventObject(event), 0u);
  EXPECT_EQ(plat::WaitEventObject(event, 0), plat::kErrorWaitTimeout);
  EXPECT_EQ(plat::CloseEventObject(event), 0u);
}

TEST(EventTest, SetWakesAWaitingThread) {
  EventHandle event = plat::CreateEventObject(false, false);
  TestThread waiter([event] { return plat::WaitEventObject(event, plat::kInfinite); });
  plat::SetEventObject(event);
  EXPECT_EQ(waiter.Join(), 0u);
  plat::CloseEventObject(event);
}

}  // namespace

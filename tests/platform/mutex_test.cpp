// The named mutex and the event: recursion, ownership, timeouts,
// abandonment by a thread that ended, and the lifetime of the named object.

#include <gtest/gtest.h>

#include <string>

#include "plat/Clock.h"
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
    if (code == 0) code = plat::ReleaseMutexHandle(mutex);
    return code;
  });
  return thread.Join();
}

TEST(NamedMutexTest, RecursiveForItsOwnerAndReleasedOnlyByIt) {
  MutexHandle mutex = MustCreate(UniqueName("rec"));
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(plat::LastError(), plat::kErrorNotOwner);
  EXPECT_EQ(plat::WaitMutex(mutex, 0), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, plat::kInfinite), 0u);
  EXPECT_EQ(plat::WaitMutex(mutex, 100), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), plat::kErrorWaitTimeout);
  TestThread other([mutex] { return plat::ReleaseMutexHandle(mutex); });
  EXPECT_EQ(other.Join(), plat::kErrorNotOwner);  // and it took nothing away
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), plat::kErrorWaitTimeout);  // still held once
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
  EXPECT_EQ(TryFromOtherThread(mutex), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
  EXPECT_EQ(plat::CloseMutexHandle(mutex), 0u);
}

// While another thread holds the mutex, waits time out; a thread that ends
// owning it abandons it. The next wait gets it, held once whatever the old
// count was, whether the holder released it or ended before the wait or
// while it waited with a time limit.
TEST(NamedMutexTest, WaitsGetTheMutexReleasedOrAbandonedByAnotherThread) {
  MutexHandle mutex = MustCreate(UniqueName("abandon"));
  enum Holder { kEndsBefore, kEndsWhileWaited, kReleasesWhileWaited };
  for (Holder how : {kEndsBefore, kEndsWhileWaited, kReleasesWhileWaited}) {
    SCOPED_TRACE(how);
    EventHandle held = plat::CreateEventObject(true, false);
    EventHandle finish = plat::CreateEventObject(true, how == kEndsBefore);
    TestThread owner([&] {
      uint32_t code = plat::WaitMutex(mutex, plat::kInfinite) | plat::WaitMutex(mutex, plat::kInfinite);
      plat::SetEventObject(held);
      plat::WaitEventObject(finish, plat::kInfinite);
      if (how == kReleasesWhileWaited) {
        plat::Sleep(20);  // lets the main thread come to wait
        code |= plat::ReleaseMutexHandle(mutex) | plat::ReleaseMutexHandle(mutex);
      }
      return code;  // otherwise ends holding it twice
    });
    ASSERT_EQ(plat::WaitEventObject(held, 10000), 0u);
    if (how == kEndsBefore) {
      ASSERT_EQ(owner.Join(), 0u);
      EXPECT_EQ(plat::WaitMutex(mutex, 5000), 0u);
    } else {
      EXPECT_EQ(plat::WaitMutex(mutex, 0), plat::kErrorWaitTimeout);
      EXPECT_EQ(plat::WaitMutex(mutex, 30), plat::kErrorWaitTimeout);
      TestThread ender([&] {
        plat::Sleep(20);  // lets the main thread come to wait
        return plat::SetEventObject(finish);
      });
      EXPECT_EQ(plat::WaitMutex(mutex, 20000), 0u);
    }
    EXPECT_EQ(owner.Join(), 0u);
    EXPECT_EQ(plat::ReleaseMutexHandle(mutex), 0u);
    EXPECT_EQ(plat::ReleaseMutexHandle(mutex), plat::kErrorNotOwner);
    EXPECT_EQ(TryFromOtherThread(mutex), 0u);
    plat::CloseEventObject(held);
    plat::CloseEventObject(finish);
  }
  plat::CloseMutexHandle(mutex);
}

TEST(NamedMutexTest, HandlesOfOneNameShareTheMutex) {
  const std::string name = UniqueName("same");
  MutexHandle missing = reinterpret_cast<MutexHandle>(1);
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &missing), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_EQ(missing, nullptr);
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
  // A different name is a different mutex; so is every unnamed one.
  MutexHandle other = MustCreate(UniqueName("other"));
  MutexHandle unnamed1 = nullptr;
  MutexHandle unnamed2 = nullptr;
  ASSERT_EQ(plat::CreateNamedMutex(nullptr, &unnamed1), 0u);
  ASSERT_EQ(plat::CreateNamedMutex("", &unnamed2), 0u);
  ASSERT_EQ(plat::WaitMutex(created, 0), 0u);
  ASSERT_EQ(plat::WaitMutex(unnamed1, 0), 0u);
  EXPECT_EQ(TryFromOtherThread(other), 0u);
  EXPECT_EQ(TryFromOtherThread(unnamed1), plat::kErrorWaitTimeout);
  EXPECT_EQ(TryFromOtherThread(unnamed2), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(unnamed1), 0u);
  EXPECT_EQ(plat::ReleaseMutexHandle(created), 0u);
  for (MutexHandle m : {unnamed1, unnamed2, other, created, again}) EXPECT_EQ(plat::CloseMutexHandle(m), 0u);
  // The object lives until its last handle closes, though its owner lives
  // on; a create after that starts a fresh mutex, owned by no one.
  MutexHandle kept = nullptr;
  ASSERT_EQ(plat::OpenNamedMutex(name.c_str(), &kept), 0u);
  ASSERT_EQ(plat::WaitMutex(kept, 0), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(opened), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(kept), 0u);
  EXPECT_EQ(plat::OpenNamedMutex(name.c_str(), &missing), plat::kErrorFileNotFound);
  MutexHandle fresh = MustCreate(name);
  EXPECT_EQ(TryFromOtherThread(fresh), 0u);
  EXPECT_EQ(plat::CloseMutexHandle(fresh), 0u);
}

TEST(EventTest, AutoResetLetsOneWaitThroughManualResetStaysSet) {
  for (bool manual : {false, true}) {
    SCOPED_TRACE(manual);
    EventHandle event = plat::CreateEventObject(manual, false);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(plat::WaitEventObject(event, 0), plat::kErrorWaitTimeout);
    EXPECT_EQ(plat::WaitEventObject(event, 20), plat::kErrorWaitTimeout);
    TestThread waiter([event] { return plat::WaitEventObject(event, plat::kInfinite); });
    EXPECT_EQ(plat::SetEventObject(event), 0u);
    EXPECT_EQ(waiter.Join(), 0u);
    EXPECT_EQ(plat::SetEventObject(event), 0u);
    EXPECT_EQ(plat::WaitEventObject(event, 10), 0u);
    EXPECT_EQ(plat::WaitEventObject(event, 0), manual ? 0u : plat::kErrorWaitTimeout);
    EXPECT_EQ(plat::ResetEventObject(event), 0u);
    EXPECT_EQ(plat::WaitEventObject(event, 0), plat::kErrorWaitTimeout);
    EXPECT_EQ(plat::CloseEventObject(event), 0u);
  }
}

}  // namespace

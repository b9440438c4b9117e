// Threads, message queues and thread timers on POSIX.
//
// A thread is a pthread; its handle waits for its end by joining it, so a
// wait returns only after the thread has ended entirely (a robust mutex it
// held is then abandoned). A handle closed before the end detaches it.
//
// Each thread gets a message queue (a deque under a mutex and a condition
// variable on CLOCK_MONOTONIC) at its first message call. A registry keyed
// by thread id lets other threads post to it; the thread's entry is removed
// when the thread ends. Timers belong to the queue of the thread that set
// them and are touched only by that thread: GetThreadMessage compares them
// with the monotonic clock and, when no posted message waits, makes a
// WM_TIMER for the timer that has been due longest. A timer then becomes due
// again at its next multiple of the period, so a late reader gets one
// WM_TIMER per timer, not one per period missed, as Windows coalesces them.

#include "plat/Thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <deque>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "Clocks.h"
#include "Deadline.h"
#include "ErrnoMap.h"
#include "plat/Error.h"
#include "plat/Process.h"

namespace plat {

struct ThreadObject {
  pthread_t thread;
  pthread_mutex_t lock;
  pthread_cond_t changed;  // a join ended; waits against CLOCK_REALTIME
  bool ended;              // joined: the thread has ended
  bool joining;            // a waiter is in a pthread join
};

namespace {

constexpr size_t kQueueLimit = 10000;  // as Windows' USERPostMessageLimit
constexpr uint32_t kMinTimerPeriod = 10;
constexpr uint32_t kMaxTimerPeriod = 0x7FFFFFFF;

// Hands the procedure to the new thread and its id back to the creator.
struct StartBlock {
  ThreadProc proc;
  void* param;
  pthread_mutex_t lock;
  pthread_cond_t startedCv;
  uint32_t threadId;
  bool started;
};

void* Start(void* arg) {
  auto* block = static_cast<StartBlock*>(arg);
  ThreadProc proc = block->proc;
  void* param = block->param;
  pthread_mutex_lock(&block->lock);
  block->threadId = CurrentThreadId();
  block->started = true;
  pthread_cond_signal(&block->startedCv);
  pthread_mutex_unlock(&block->lock);  // the creator may free the block now
  return reinterpret_cast<void*>(static_cast<uintptr_t>(proc(param)));
}

struct Timer {
  uintptr_t id;
  uint32_t period;  // milliseconds
  uint64_t due;     // monotonic milliseconds
};

struct MessageQueue {
  MessageQueue() {
    pthread_mutex_init(&lock, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&arrived, &attr);
    pthread_condattr_destroy(&attr);
  }
  ~MessageQueue() {
    pthread_cond_destroy(&arrived);
    pthread_mutex_destroy(&lock);
  }
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  pthread_mutex_t lock;
  pthread_cond_t arrived;              // a message was posted
  std::deque<ThreadMessage> messages;  // under lock
  std::vector<Timer> timers;           // the owning thread's only
  uint32_t threadId = 0;               // its key in the registry
};

// The queues of the live threads that have one, by thread id. Never freed,
// so that threads ending during the process's exit still find it.
pthread_mutex_t gQueuesLock = PTHREAD_MUTEX_INITIALIZER;
std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>>* gQueues = nullptr;
std::atomic<uintptr_t> gNextTimerId{1};

void LockQueues() { pthread_mutex_lock(&gQueuesLock); }
void UnlockQueues() { pthread_mutex_unlock(&gQueuesLock); }

// A child made by fork has only the forking thread, under a new id: the
// other threads' queues are gone, and its own is entered again on its next
// message call. The parent's registry is set aside, not destroyed: a queue
// whose thread waited at the fork has a condition variable that cannot be
// destroyed in the child.
std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>>* gParentQueues = nullptr;

void ForgetQueuesInChild() {
  if (gQueues != nullptr) {
    gParentQueues = gQueues;
    gQueues = new (std::nothrow) std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>>();
  }
  UnlockQueues();  // locked by this thread before the fork
}

void Unregister(const MessageQueue* queue) {
  LockQueues();
  if (gQueues != nullptr) {
    auto it = gQueues->find(queue->threadId);
    if (it != gQueues->end() && it->second.get() == queue) gQueues->erase(it);
  }
  UnlockQueues();
}

// The calling thread's queue; its destruction at the thread's end removes
// the registry entry, so that later posts to the id fail with 1444.
struct QueueOwner {
  ~QueueOwner() {
    if (queue) Unregister(queue.get());
  }
  std::shared_ptr<MessageQueue> queue;
};
thread_local QueueOwner tQueueOwner;

// The calling thread's queue, made and entered in the registry on first use
// (and entered again under the new id in a forked child); null when memory
// ran out.
MessageQueue* OwnQueue() {
  std::shared_ptr<MessageQueue>& queue = tQueueOwner.queue;
  const uint32_t id = CurrentThreadId();
  if (queue && queue->threadId == id) return queue.get();
  static const bool registered = pthread_atfork(LockQueues, UnlockQueues, ForgetQueuesInChild) == 0;
  (void)registered;
  bool entered = true;
  try {
    if (!queue) queue = std::make_shared<MessageQueue>();
  } catch (const std::bad_alloc&) {
    entered = false;
  }
  if (entered) {
    LockQueues();
    try {
      if (gQueues == nullptr) gQueues = new std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>>();
      queue->threadId = id;
      (*gQueues)[id] = queue;
    } catch (const std::bad_alloc&) {
      entered = false;
    }
    UnlockQueues();
  }
  if (!entered) {
    FailWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  return queue.get();
}

}  // namespace

uint32_t CreateThreadObject(ThreadProc proc, void* param, uint32_t* threadId, ThreadHandle* thread) {
  *thread = nullptr;
  auto* object = new (std::nothrow) ThreadObject;
  if (object == nullptr) return FailWith(kErrorNotEnoughMemory);
  StartBlock block;
  block.proc = proc;
  block.param = param;
  block.threadId = 0;
  block.started = false;
  pthread_mutex_init(&block.lock, nullptr);
  pthread_cond_init(&block.startedCv, nullptr);
  int err = pthread_create(&object->thread, nullptr, Start, &block);
  if (err == 0) {
    pthread_mutex_lock(&block.lock);
    while (!block.started) pthread_cond_wait(&block.startedCv, &block.lock);
    pthread_mutex_unlock(&block.lock);
  }
  pthread_cond_destroy(&block.startedCv);
  pthread_mutex_destroy(&block.lock);
  if (err != 0) {
    delete object;
    return FailWith(err == EAGAIN ? uint32_t{kErrorNotEnoughMemory} : ErrorFromErrno(err));
  }
  pthread_mutex_init(&object->lock, nullptr);
  pthread_cond_init(&object->changed, nullptr);
  object->ended = false;
  object->joining = false;
  *threadId = block.threadId;
  *thread = object;
  return 0;
}

uint32_t WaitThread(ThreadHandle thread, uint32_t timeoutMs) {
  if (thread == nullptr) return FailWith(kErrorInvalidHandle);
  const timespec deadline = detail::RealtimeDeadline(timeoutMs == kInfinite ? 0 : timeoutMs);
  pthread_mutex_lock(&thread->lock);
  while (!thread->ended) {
    if (!thread->joining) {
      // One waiter joins at a time; the others wait for its outcome.
      thread->joining = true;
      pthread_mutex_unlock(&thread->lock);
      int err;
      if (timeoutMs == kInfinite) {
        err = pthread_join(thread->thread, nullptr);
      } else if (timeoutMs == 0) {
        err = pthread_tryjoin_np(thread->thread, nullptr);
      } else {
        err = pthread_timedjoin_np(thread->thread, nullptr, &deadline);
      }
      pthread_mutex_lock(&thread->lock);
      thread->joining = false;
      if (err == 0) thread->ended = true;
      pthread_cond_broadcast(&thread->changed);
      if (err != 0) {
        pthread_mutex_unlock(&thread->lock);
        if (err == ETIMEDOUT || err == EBUSY) return kErrorWaitTimeout;
        return FailWith(ErrorFromErrno(err));
      }
    } else if (timeoutMs == kInfinite) {
      pthread_cond_wait(&thread->changed, &thread->lock);
    } else if (timeoutMs == 0 ||
               pthread_cond_timedwait(&thread->changed, &thread->lock, &deadline) == ETIMEDOUT) {
      bool ended = thread->ended;
      pthread_mutex_unlock(&thread->lock);
      return ended ? 0u : uint32_t{kErrorWaitTimeout};
    }
  }
  pthread_mutex_unlock(&thread->lock);
  return 0;
}

uint32_t CloseThreadHandle(ThreadHandle thread) {
  if (thread == nullptr) return FailWith(kErrorInvalidHandle);
  pthread_mutex_lock(&thread->lock);
  bool running = !thread->ended;
  pthread_mutex_unlock(&thread->lock);
  if (running) pthread_detach(thread->thread);
  pthread_cond_destroy(&thread->changed);
  pthread_mutex_destroy(&thread->lock);
  delete thread;
  return 0;
}

bool PostThreadMessageTo(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // A thread that posts has a queue of its own from then on, as on Windows,
  // where its first call of the message functions gives it one.
  if (OwnQueue() == nullptr) return false;
  std::shared_ptr<MessageQueue> queue;
  LockQueues();
  if (gQueues != nullptr) {
    auto it = gQueues->find(threadId);
    if (it != gQueues->end()) queue = it->second;
  }
  UnlockQueues();
  if (!queue) {
    FailWith(kErrorInvalidThreadId);
    return false;
  }
  uint32_t code = 0;
  pthread_mutex_lock(&queue->lock);
  if (queue->messages.size() >= kQueueLimit) {
    code = kErrorNotEnoughQuota;
  } else {
    try {
      queue->messages.push_back(ThreadMessage{message, wParam, lParam});
      pthread_cond_signal(&queue->arrived);
    } catch (const std::bad_alloc&) {
      code = kErrorNotEnoughMemory;
    }
  }
  pthread_mutex_unlock(&queue->lock);
  if (code != 0) FailWith(code);
  return code == 0;
}

int GetThreadMessage(ThreadMessage* message) {
  if (message == nullptr) {
    FailWith(kErrorInvalidParameter);
    return -1;
  }
  MessageQueue* queue = OwnQueue();
  if (queue == nullptr) return -1;
  pthread_mutex_lock(&queue->lock);
  for (;;) {
    if (!queue->messages.empty()) {
      *message = queue->messages.front();
      queue->messages.pop_front();
      pthread_mutex_unlock(&queue->lock);
      return message->message == kWmQuit ? 0 : 1;
    }
    const uint64_t now = detail::MonotonicMs();
    Timer* due = nullptr;
    uint64_t next = UINT64_MAX;
    for (Timer& timer : queue->timers) {
      if (timer.due <= now) {
        if (due == nullptr || timer.due < due->due) due = &timer;
      } else if (timer.due < next) {
        next = timer.due;
      }
    }
    if (due != nullptr) {
      due->due += ((now - due->due) / due->period + 1) * due->period;
      *message = ThreadMessage{kWmTimer, due->id, 0};
      pthread_mutex_unlock(&queue->lock);
      return 1;
    }
    if (next == UINT64_MAX) {
      pthread_cond_wait(&queue->arrived, &queue->lock);
    } else {
      timespec deadline;
      deadline.tv_sec = static_cast<time_t>(next / 1000);
      deadline.tv_nsec = static_cast<long>(next % 1000) * 1000000L;
      pthread_cond_timedwait(&queue->arrived, &queue->lock, &deadline);
    }
  }
}

void EnsureMessageQueue() { OwnQueue(); }

uintptr_t SetThreadTimer(uint32_t ms) {
  MessageQueue* queue = OwnQueue();
  if (queue == nullptr) return 0;
  if (ms < kMinTimerPeriod) ms = kMinTimerPeriod;
  if (ms > kMaxTimerPeriod) ms = kMaxTimerPeriod;
  uintptr_t id = gNextTimerId.fetch_add(1, std::memory_order_relaxed);
  if (id == 0) id = gNextTimerId.fetch_add(1, std::memory_order_relaxed);  // wrapped: 0 means failure
  try {
    queue->timers.push_back(Timer{id, ms, detail::MonotonicMs() + ms});
  } catch (const std::bad_alloc&) {
    FailWith(kErrorNotEnoughMemory);
    return 0;
  }
  return id;
}

bool KillThreadTimer(uintptr_t timerId) {
  MessageQueue* queue = tQueueOwner.queue.get();
  if (queue != nullptr) {
    for (auto it = queue->timers.begin(); it != queue->timers.end(); ++it) {
      if (it->id == timerId) {
        queue->timers.erase(it);
        return true;
      }
    }
  }
  FailWith(kErrorInvalidParameter);
  return false;
}

}  // namespace plat

// Threads and their Windows-style message queues and timers.
//
// A thread has a message queue from its first message call on (getting,
// peeking or posting a message, setting a timer); posting to a thread
// without one fails with 1444 (ERROR_INVALID_THREAD_ID), as it does for a thread that
// has ended. Posted messages arrive in the order they were posted. Timers
// belong to the thread that sets them and are delivered by its message wait
// as WM_TIMER after any posted messages, never more than one pending per
// timer.
#pragma once

#include <cstdint>

#include "plat/Wait.h"

namespace plat {

struct ThreadObject;
using ThreadHandle = ThreadObject*;  // null: no thread

// The procedure a new thread runs; its result is the thread's exit code.
using ThreadProc = uint32_t (*)(void* param);

enum : uint32_t {
  kWmQuit = 0x0012,   // WM_QUIT: GetThreadMessage returns 0
  kWmTimer = 0x0113,  // WM_TIMER: wParam is the timer id
  kWmUser = 0x0400,   // WM_USER: the first message number free for programs
};

// A message taken from the calling thread's queue (the fields of an MSG the
// program looks at).
struct ThreadMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// CreateThread (no security attributes, default stack, no flags): starts
// proc(param) in a new thread. Returns 0 and stores the thread's id and a
// handle to it, or a Windows error code.
uint32_t CreateThreadObject(ThreadProc proc, void* param, uint32_t* threadId, ThreadHandle* thread);

// WaitForSingleObject: 0 once the thread has ended (ended entirely: a mutex
// it held is abandoned by then), 258 when it still runs after `timeoutMs`
// milliseconds, else a Windows code. Several waits, also after the end, are
// fine.
uint32_t WaitThread(ThreadHandle thread, uint32_t timeoutMs);

// CloseHandle: closes the handle; a thread still running goes on. No other
// thread may be waiting on the handle.
uint32_t CloseThreadHandle(ThreadHandle thread);

// PostThreadMessageA: puts a message in the queue of thread `threadId`; the
// calling thread gets a queue of its own if it has none.
// Returns false with the last error set: 1444 when the thread does not
// exist or has no queue yet, 1816 (ERROR_NOT_ENOUGH_QUOTA) when its queue
// holds 10,000 messages.
bool PostThreadMessageTo(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam);

// GetMessageA (no window, no filter): waits for the next message of the
// calling thread, creating its queue on first use. Returns a positive value
// for a message, 0 for WM_QUIT (stored as well), -1 on error.
int GetThreadMessage(ThreadMessage* message);

// PeekMessageA without removing anything: creates the calling thread's queue,
// so that a thread can have it before it tells another thread it is ready.
void EnsureMessageQueue();

// SetTimer (no window, no callback): a periodic timer of the calling thread
// that delivers WM_TIMER with wParam = the timer id through GetThreadMessage
// every `ms` milliseconds (at least 10). Returns the id (non-zero), or 0
// with the last error set.
uintptr_t SetThreadTimer(uint32_t ms);

// KillTimer (no window): stops a timer of the calling thread; no WM_TIMER of
// it arrives afterwards. False, with the last error set, for an unknown id.
bool KillThreadTimer(uintptr_t timerId);

}  // namespace plat

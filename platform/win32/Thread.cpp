// Threads, message queues and thread timers on Windows: thin wrappers over
// CreateThread and the message functions of user32.

#include "plat/Thread.h"

#include <windows.h>

#include <new>

#include "Failure.h"

namespace plat {
namespace {

using detail::Fail;
using detail::Failure;

// What the new thread runs: the procedure has the C calling convention, a
// thread start routine the system's, so a small block carries it across.
struct StartBlock {
  ThreadProc proc;
  void* param;
};

DWORD WINAPI Start(LPVOID arg) {
  StartBlock block = *static_cast<StartBlock*>(arg);
  delete static_cast<StartBlock*>(arg);
  return block.proc(block.param);
}

}  // namespace

uint32_t CreateThreadObject(ThreadProc proc, void* param, uint32_t* threadId, ThreadHandle* thread) {
  *thread = nullptr;
  auto* block = new (std::nothrow) StartBlock{proc, param};
  if (block == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  DWORD id = 0;
  HANDLE h = ::CreateThread(nullptr, 0, Start, block, 0, &id);
  if (h == nullptr) {
    const uint32_t code = Failure();
    delete block;  // may change the last error
    return Fail(code);
  }
  *threadId = id;
  *thread = reinterpret_cast<ThreadHandle>(h);
  return 0;
}

uint32_t WaitThread(ThreadHandle thread, uint32_t timeoutMs) {
  switch (::WaitForSingleObject(reinterpret_cast<HANDLE>(thread), timeoutMs)) {
    case WAIT_OBJECT_0: return 0;
    case WAIT_TIMEOUT: return WAIT_TIMEOUT;  // 258
    default: return Failure();
  }
}

uint32_t CloseThreadHandle(ThreadHandle thread) {
  if (thread == nullptr) return Fail(ERROR_INVALID_HANDLE);
  return ::CloseHandle(reinterpret_cast<HANDLE>(thread)) ? 0 : Failure();
}

bool PostThreadMessageTo(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return ::PostThreadMessageA(threadId, message, wParam, lParam) != FALSE;
}

int GetThreadMessage(ThreadMessage* message) {
  if (message == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return -1;
  }
  MSG msg;
  BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
  if (result == -1) return -1;
  message->message = msg.message;
  message->wParam = msg.wParam;
  message->lParam = msg.lParam;
  return result;
}

void EnsureMessageQueue() {
  MSG msg;
  ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

uintptr_t SetThreadTimer(uint32_t ms) { return ::SetTimer(nullptr, 0, ms, nullptr); }

bool KillThreadTimer(uintptr_t timerId) { return ::KillTimer(nullptr, timerId) != FALSE; }

}  // namespace plat

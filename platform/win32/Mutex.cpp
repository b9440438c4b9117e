// Mutexes and events on Windows: thin wrappers over the kernel objects.

#include "plat/Mutex.h"

#include <windows.h>

#include "Failure.h"

namespace plat {
namespace {

using detail::Fail;
using detail::Failure;

// The result of a wait on one object: an abandoned mutex counts as acquired.
uint32_t WaitResult(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: return 0;
    case WAIT_TIMEOUT: return WAIT_TIMEOUT;  // 258
    default: return Failure();
  }
}

uint32_t CloseObject(void* handle) {
  if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
  return ::CloseHandle(static_cast<HANDLE>(handle)) ? 0 : Failure();
}

}  // namespace

uint32_t CreateNamedMutex(const char* name, MutexHandle* mutex) {
  HANDLE h = ::CreateMutexA(nullptr, FALSE, (name != nullptr && *name != 0) ? name : nullptr);
  *mutex = reinterpret_cast<MutexHandle>(h);
  return h == nullptr ? Failure() : 0;
}

uint32_t OpenNamedMutex(const char* name, MutexHandle* mutex) {
  HANDLE h = ::OpenMutexA(SYNCHRONIZE, FALSE, name);
  *mutex = reinterpret_cast<MutexHandle>(h);
  return h == nullptr ? Failure() : 0;
}

uint32_t WaitMutex(MutexHandle mutex, uint32_t timeoutMs) {
  return WaitResult(::WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), timeoutMs));
}

uint32_t ReleaseMutexHandle(MutexHandle mutex) {
  return ::ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) ? 0 : Failure();
}

uint32_t CloseMutexHandle(MutexHandle mutex) { return CloseObject(mutex); }

EventHandle CreateEventObject(bool manualReset, bool initialState) {
  return reinterpret_cast<EventHandle>(::CreateEventA(nullptr, manualReset, initialState, nullptr));
}

uint32_t SetEventObject(EventHandle event) {
  return ::SetEvent(reinterpret_cast<HANDLE>(event)) ? 0 : Failure();
}

uint32_t ResetEventObject(EventHandle event) {
  return ::ResetEvent(reinterpret_cast<HANDLE>(event)) ? 0 : Failure();
}

uint32_t WaitEventObject(EventHandle event, uint32_t timeoutMs) {
  return WaitResult(::WaitForSingleObject(reinterpret_cast<HANDLE>(event), timeoutMs));
}

uint32_t CloseEventObject(EventHandle event) { return CloseObject(event); }

}  // namespace plat

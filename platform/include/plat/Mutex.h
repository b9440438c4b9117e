// Synchronisation objects: the named mutex that serialises a logger's work
// across the threads and processes that use the same name, and an unnamed
// event for signalling between the threads of one process.
//
// Named mutex, as a Windows mutex: recursive for its owning thread (released
// as often as acquired); a mutex whose owner ended while holding it (thread
// or process) is abandoned and the next wait acquires it; the object exists
// while any handle to it is open, in any process, and a later create after the
// last close makes a new, unowned one. Handles are not inherited by child
// processes: a child made by fork creates or opens its own.
#pragma once

#include <cstdint>

#include "plat/Wait.h"

namespace plat {

struct MutexObject;
using MutexHandle = MutexObject*;  // null: no mutex

struct EventObject;
using EventHandle = EventObject*;  // null: no event

// CreateMutexA (no security attributes, not owned): opens the mutex called
// `name`, creating it when it does not exist. A null or empty name makes an
// unnamed mutex. Names are at most 250 characters without '/' or '\'.
// Returns 0 and stores the handle, or a Windows error code.
uint32_t CreateNamedMutex(const char* name, MutexHandle* mutex);

// OpenMutexA(SYNCHRONIZE): opens an existing mutex; 2 when there is none of
// that name.
uint32_t OpenNamedMutex(const char* name, MutexHandle* mutex);

// WaitForSingleObject: acquires the mutex within `timeoutMs` milliseconds
// (kInfinite: no limit). Returns 0 when acquired, an abandoned mutex
// included, 258 (WAIT_TIMEOUT) when the time ran out, else a Windows code.
uint32_t WaitMutex(MutexHandle mutex, uint32_t timeoutMs);

// ReleaseMutex: gives up one acquisition. Returns 0, or 288
// (ERROR_NOT_OWNER) when the calling thread does not own the mutex.
uint32_t ReleaseMutexHandle(MutexHandle mutex);

// CloseHandle: closes the handle. Ownership is not released: a thread that
// closes a handle of a mutex it owns keeps it until it releases it through
// another handle or ends.
uint32_t CloseMutexHandle(MutexHandle mutex);

// CreateEventA with no name: an event that is signalled or not. Setting an
// auto-reset event wakes one waiter and the event clears as that waiter
// returns; a manual-reset event stays set until reset. Returns null, with
// the last error set, on failure.
EventHandle CreateEventObject(bool manualReset, bool initialState);
// SetEvent / ResetEvent.
uint32_t SetEventObject(EventHandle event);
uint32_t ResetEventObject(EventHandle event);
// WaitForSingleObject: 0 when the event is (or becomes) signalled within
// `timeoutMs`, 258 when the time ran out, else a Windows code.
uint32_t WaitEventObject(EventHandle event, uint32_t timeoutMs);
// CloseHandle. No thread may be waiting on the event.
uint32_t CloseEventObject(EventHandle event);

}  // namespace plat

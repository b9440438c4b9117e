// The calling process and thread: their ids, the process's command line, and
// sleeping.
#pragma once

#include <cstdint>

namespace plat {

// GetCurrentProcessId. Cached; a child made by fork gets its own id.
uint32_t CurrentProcessId();

// GetCurrentThreadId: unique among the live threads of the system. Cached per
// thread; the thread of a forked child gets its own id.
uint32_t CurrentThreadId();

// GetCommandLineA: the command line of the process, computed once and valid
// until the process ends. Argument 0 runs to the first space outside double
// quotes; with its surrounding double quotes removed it is the program path
// as the program was started. On POSIX the arguments are joined by single
// spaces, and an argument that is empty or contains a blank is written in
// double quotes, so the same reading gives argument 0 on both platforms.
const char* CommandLine();

// Sleep: suspends the calling thread for at least `ms` milliseconds
// (kInfinite from plat/Wait.h: for ever).
void Sleep(uint32_t ms);

}  // namespace plat

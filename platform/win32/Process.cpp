// The calling process and thread on Windows: the system's own values.

#include "plat/Process.h"

#include <windows.h>

namespace plat {

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

const char* CommandLine() { return ::GetCommandLineA(); }

char** AnsiArguments(int, char** argv) { return argv; }

void Sleep(uint32_t ms) { ::Sleep(ms); }

}  // namespace plat

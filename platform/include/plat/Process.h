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
// double quotes, so the same reading gives argument 0 on both platforms; a
// program path holding a double quote (which Windows does not allow) may not
// read back from that line, and the line then holds argument 0 alone.
const char* CommandLine();

// The arguments of main (argc of them, then a null) with arguments 1 on in
// the ANSI code page, as Windows' ANSI command line gives them. Windows:
// argv itself. POSIX: they arrive in the codeset of the locale variables
// (LC_ALL, LC_CTYPE, LANG: the first set) and are converted to 1251 or 1252,
// every character the code page lacks and every byte the codeset does not
// allow becoming '?'; without a codeset, or with one iconv does not know,
// they stay as they came. Argument 0, the program path, stays as it came: on
// POSIX it names a file by its bytes. Valid until the process ends; call it
// once, from main.
char** AnsiArguments(int argc, char** argv);

// Sleep: suspends the calling thread for at least `ms` milliseconds
// (kInfinite from plat/Wait.h: for ever).
void Sleep(uint32_t ms);

}  // namespace plat

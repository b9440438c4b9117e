// errno values as Windows error codes, for the POSIX implementations of the
// platform functions.
#pragma once

#include <cstdint>

namespace plat {

// The Windows error code for `err` (ENOENT 2, EACCES and EPERM 5, ENOMEM 8,
// EEXIST 80, ENOSPC 112, ...); 1359 (ERROR_INTERNAL_ERROR) for a value
// without a counterpart.
uint32_t ErrorFromErrno(int err);

// As ErrorFromErrno, for a call on `path`: a missing file is 2, but 3
// (ERROR_PATH_NOT_FOUND) when a directory of the path is missing.
uint32_t ErrorFromPathErrno(int err, const char* path);

// Sets the thread's last error to `code` and returns it.
uint32_t FailWith(uint32_t code);

}  // namespace plat

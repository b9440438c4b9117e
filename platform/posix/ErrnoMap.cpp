// errno values as Windows error codes.

#include "ErrnoMap.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "plat/Error.h"

namespace plat {

uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrorInternalError;  // a failure that left no reason
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EROFS: return kErrorWriteProtect;
    case EIO: return kErrorGenFailure;
    case EAGAIN:
    case EDEADLK: return kErrorLockViolation;
    case ENOTSUP: return kErrorNotSupported;
    case ENOSYS: return kErrorCallNotImplemented;
    case EEXIST: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ETIMEDOUT: return kErrorTimeout;
    default: return kErrorInternalError;
  }
}

uint32_t ErrorFromPathErrno(int err, const char* path) {
  if (err != ENOENT) return ErrorFromErrno(err);
  std::string dir(path != nullptr ? path : "");
  size_t slash = dir.find_last_of('/');
  if (slash == std::string::npos) return kErrorFileNotFound;  // in the current directory
  dir.resize(slash == 0 ? 1 : slash);
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return kErrorPathNotFound;
  return kErrorFileNotFound;
}

uint32_t FailWith(uint32_t code) {
  SetLastError(code);
  return code;
}

}  // namespace plat

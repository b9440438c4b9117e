// The last-error value of the calling thread and the Windows error codes the
// system uses. Every platform failure is a Windows error code on both
// platforms (0 = success).
#pragma once

#include <cstdint>

namespace plat {

uint32_t LastError();
void SetLastError(uint32_t code);

enum : uint32_t {
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorWriteProtect = 19,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorCallNotImplemented = 120,
  kErrorInsufficientBuffer = 122,
  kErrorFilenameExcedRange = 206,
  kErrorWaitTimeout = 258,
  kErrorNotOwner = 288,       // release of a mutex the caller does not own
  kErrorMrMidNotFound = 317,  // the message catalogue has no text for the code
  kErrorServiceNotActive = 1062,
  kErrorShutdownInProgress = 1115,
  kErrorNotFound = 1168,
  kErrorCancelled = 1223,
  kErrorPrivilegeNotHeld = 1314,
  kErrorInternalError = 1359,
  kErrorInvalidThreadId = 1444,
  kErrorTimeout = 1460,
  kErrorResourceLangNotFound = 1815,
  kErrorNotEnoughQuota = 1816,    // a thread's message queue is full
  kErrorMuiFileNotFound = 15100,  // the catalogue does not hold the language asked for
};

}  // namespace plat

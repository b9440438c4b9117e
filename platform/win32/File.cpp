// Files on Windows: thin wrappers over the file functions of kernel32.

#include "plat/File.h"

#include <windows.h>

#include "Failure.h"

namespace plat {
namespace {

using detail::Fail;
using detail::Failure;

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

uint32_t OpenFile(const char* name, uint32_t access, uint32_t share, uint32_t disposition, FileHandle* file) {
  *file = nullptr;
  HANDLE h = ::CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failure();
  *file = reinterpret_cast<FileHandle>(h);
  return 0;
}

bool IsTrustedConfiguration(FileHandle) { return true; }

uint32_t SeekToEnd(FileHandle file, uint64_t* position) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER end;
  if (!::SetFilePointerEx(Native(file), zero, &end, FILE_END)) return Failure();
  if (position != nullptr) *position = static_cast<uint64_t>(end.QuadPart);
  return 0;
}

uint32_t WriteAll(FileHandle file, const void* bytes, uint32_t size) {
  DWORD written = 0;
  if (!::WriteFile(Native(file), bytes, size, &written, nullptr)) return Failure();
  return written == size ? 0 : Fail(ERROR_DISK_FULL);
}

uint32_t CutFileAt(FileHandle file, uint64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(Native(file), at, nullptr, FILE_BEGIN)) return Failure();
  return ::SetEndOfFile(Native(file)) ? 0 : Failure();
}

// CreateFileA fixes the share mode of a handle until it is closed.
uint32_t ReleaseShareMode(FileHandle) { return Fail(ERROR_NOT_SUPPORTED); }

uint32_t ReadAll(FileHandle file, void* bytes, uint32_t size, uint32_t* done) {
  *done = 0;
  auto* p = static_cast<char*>(bytes);
  while (*done < size) {
    DWORD got = 0;
    if (!::ReadFile(Native(file), p + *done, size - *done, &got, nullptr)) return Failure();
    if (got == 0) break;  // end of the file
    *done += got;
  }
  return 0;
}

uint32_t FileSize(FileHandle file, uint64_t* size) {
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(Native(file), &value)) return Failure();
  *size = static_cast<uint64_t>(value.QuadPart);
  return 0;
}

uint32_t FlushFile(FileHandle file) { return ::FlushFileBuffers(Native(file)) ? 0 : Failure(); }

uint32_t CloseFile(FileHandle file) {
  if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
  return ::CloseHandle(Native(file)) ? 0 : Failure();
}

uint32_t DeleteFileByName(const char* name) { return ::DeleteFileA(name) ? 0 : Failure(); }

uint32_t LastWriteTimeLocal(FileHandle file, SystemTime* time) {
  FILETIME written;
  FILETIME local;
  SYSTEMTIME st;
  if (!::GetFileTime(Native(file), nullptr, nullptr, &written)) return Failure();
  if (!::FileTimeToLocalFileTime(&written, &local)) return Failure();
  if (!::FileTimeToSystemTime(&local, &st)) return Failure();
  detail::CopySystemTime(st, time);
  return 0;
}

uint32_t LastWriteTimeLocal(const char* name, SystemTime* time) {
  FileHandle file = nullptr;
  uint32_t code = OpenFile(name, 0, kFileShareRead | kFileShareWrite, kOpenExisting, &file);
  if (code != 0) return code;
  code = LastWriteTimeLocal(file, time);
  CloseFile(file);
  if (code != 0) ::SetLastError(code);
  return code;
}

}  // namespace plat

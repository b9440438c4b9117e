// Files with the semantics of the Windows file functions: access rights,
// share modes and creation dispositions as CreateFileA takes them, and
// Windows error codes for every failure.
//
// On POSIX only regular files open: a directory, FIFO, socket or device
// gives 5 at once, and opening never waits. When the effective user is
// root, an open that may write or create the file does not follow a
// symbolic link in its last component (5).
//
// Share modes hold between processes and between the handles of one process:
// an open fails with 32 (ERROR_SHARING_VIOLATION) when it asks for access
// that another handle's share mode refuses, or refuses sharing that another
// handle's access needs. A handle opened with access 0 only queries the file
// (size, last-write time): it neither meets nor causes a sharing conflict.
//
// Every function that fails also sets the thread's last error to the code it
// returns. Handles are not passed on to programs the process starts.
#pragma once

#include <cstdint>

#include "plat/Clock.h"

namespace plat {

struct FileObject;
using FileHandle = FileObject*;  // null: no file

enum : uint32_t {
  // Access rights; 0 opens the file for queries only.
  kGenericRead = 0x80000000u,
  kGenericWrite = 0x40000000u,
  // FILE_APPEND_DATA. On POSIX it implies write access and every write
  // lands at the end of the file, whatever the file position and whatever
  // other writers do (O_APPEND). On Windows it adds nothing to kGenericWrite;
  // alone it makes Windows' append-only handle.
  kFileAppendData = 0x4,
  // Share modes: what other handles may do with the file while it is open.
  kFileShareRead = 0x1,
  kFileShareWrite = 0x2,
  kFileShareDelete = 0x4,
  // Creation dispositions.
  kCreateNew = 1,         // create; 80 when the file exists
  kCreateAlways = 2,      // create, or empty the existing file
  kOpenExisting = 3,      // open; 2 when the file does not exist
  kOpenAlways = 4,        // open, or create when it does not exist
  kTruncateExisting = 5,  // open and empty; needs kGenericWrite
};

// CreateFileA (no security attributes, normal attributes, no template): opens
// or creates `name`. Returns 0 and stores the handle in *file, or returns the
// Windows error code (2 no such file, 3 a directory of the path is missing,
// 5 access denied or a directory, 32 sharing violation, 80 file exists) and
// stores null.
uint32_t OpenFile(const char* name, uint32_t access, uint32_t share, uint32_t disposition, FileHandle* file);

// Whether a file the program reads its configuration from may be trusted
// by the effective user: when that user is root on POSIX, the file must be
// owned by root and writable by nobody else (group and others), as programs
// that run as root treat their configuration. Always true for other users
// and on Windows.
bool IsTrustedConfiguration(FileHandle file);

// SetFilePointerEx(0, FILE_END): moves the file position to the end, which
// may lie beyond 4 GiB. Stores the new position in *position unless it is null.
uint32_t SeekToEnd(FileHandle file, uint64_t* position);

// WriteFile of all `size` bytes at the file position. A short write is a
// failure: returns 0 only when every byte was written (112 when the disk is full).
uint32_t WriteAll(FileHandle file, const void* bytes, uint32_t size);

// SetFilePointerEx(size, FILE_BEGIN) and SetEndOfFile: the file ends after
// `size` bytes, whatever lay behind them is gone, and the file position is
// `size`. Needs a handle with kGenericWrite. A writer uses it to take back
// the part of a write that failed half-way.
uint32_t CutFileAt(FileHandle file, uint64_t size);

// Lifts the share mode of a handle that has done its writing: from now on
// other handles may open the file for any access, while this one stays
// good for FlushFile and CloseFile. A writer uses it to let the next
// writer in before its own flush to disk has ended. Returns 0 when done;
// 50 (ERROR_NOT_SUPPORTED) where a handle's share mode is fixed for its
// life (Windows), the handle unchanged.
uint32_t ReleaseShareMode(FileHandle file);

// ReadFile until `size` bytes or the end of the file: stores the number of
// bytes read in *done (fewer than `size` only at the end of the file).
uint32_t ReadAll(FileHandle file, void* bytes, uint32_t size, uint32_t* done);

// GetFileSizeEx: the size of the file in bytes.
uint32_t FileSize(FileHandle file, uint64_t* size);

// FlushFileBuffers: the written data reaches the disk before it returns.
uint32_t FlushFile(FileHandle file);

// CloseHandle: closes the handle; null gives 6 (ERROR_INVALID_HANDLE).
uint32_t CloseFile(FileHandle file);

// DeleteFileA: removes the file; 32 while a handle that does not share
// delete access holds it open.
uint32_t DeleteFileByName(const char* name);

// GetFileTime, FileTimeToLocalFileTime, FileTimeToSystemTime: the file's
// last-write time in local time, to the millisecond. Any handle will do,
// access 0 included; the name form opens the file with access 0 and
// sharing read and write for the query.
uint32_t LastWriteTimeLocal(FileHandle file, SystemTime* time);
uint32_t LastWriteTimeLocal(const char* name, SystemTime* time);

}  // namespace plat

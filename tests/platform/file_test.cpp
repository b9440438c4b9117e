// The file services: creation dispositions, appending, reading back, share
// modes between handles, query handles, error codes and last-write times.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/File.h"
#include "platform/log_platform_support.h"

namespace {

using plat::FileHandle;
using yxtest::ScopedTempDir;

constexpr uint32_t kShareReadWrite = plat::kFileShareRead | plat::kFileShareWrite;

// Opens and expects success; returns the handle.
FileHandle MustOpen(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition) {
  FileHandle file = nullptr;
  EXPECT_EQ(plat::OpenFile(name.c_str(), access, share, disposition, &file), 0u) << name;
  EXPECT_NE(file, nullptr);
  return file;
}

// Opens and returns the error code; a handle that was opened is closed.
uint32_t OpenCode(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition) {
  FileHandle file = reinterpret_cast<FileHandle>(1);
  uint32_t code = plat::OpenFile(name.c_str(), access, share, disposition, &file);
  if (code != 0) {
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(plat::LastError(), code);
  } else {
    plat::CloseFile(file);
  }
  return code;
}

void WriteFileText(const std::string& name, const std::string& text) {
  FileHandle file = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kCreateAlways);
  ASSERT_EQ(plat::WriteAll(file, text.data(), static_cast<uint32_t>(text.size())), 0u);
  ASSERT_EQ(plat::CloseFile(file), 0u);
}

std::string ReadFileText(const std::string& name) {
  FileHandle file = MustOpen(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting);
  char buf[256];
  uint32_t done = 0;
  EXPECT_EQ(plat::ReadAll(file, buf, sizeof buf, &done), 0u);
  plat::CloseFile(file);
  return std::string(buf, done);
}

// Milliseconds since 1 January 1970 of a date and time (no time zone).
int64_t ToMs(const plat::SystemTime& t) {
  int64_t y = t.wYear - (t.wMonth <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (t.wMonth + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + t.wDay - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 719468;
  return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
}

TEST(FileTest, AppendsAtTheEndAndReadsBack) {
  ScopedTempDir dir;
  const std::string name = dir.File("append.log");
  FileHandle file = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways);
  uint64_t position = 99;
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(plat::WriteAll(file, "abc", 3), 0u);
  EXPECT_EQ(plat::FlushFile(file), 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);

  file = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways);
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, 3u);
  EXPECT_EQ(plat::WriteAll(file, "defg", 4), 0u);
  EXPECT_EQ(plat::SeekToEnd(file, nullptr), 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);

  file = MustOpen(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting);
  uint64_t size = 0;
  EXPECT_EQ(plat::FileSize(file, &size), 0u);
  EXPECT_EQ(size, 7u);
  char buf[16] = {};
  uint32_t done = 0;
  EXPECT_EQ(plat::ReadAll(file, buf, sizeof buf, &done), 0u);
  EXPECT_EQ(std::string(buf, done), "abcdefg");
  EXPECT_EQ(plat::ReadAll(file, buf, sizeof buf, &done), 0u);  // at the end
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);
}

TEST(FileTest, WritingWithoutSeekOverwritesFromTheStart) {
  ScopedTempDir dir;
  const std::string name = dir.File("start.txt");
  WriteFileText(name, "123456");
  FileHandle file = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways);
  EXPECT_EQ(plat::WriteAll(file, "ab", 2), 0u);
  plat::CloseFile(file);
  EXPECT_EQ(ReadFileText(name), "ab3456");
}

TEST(FileTest, CreationDispositions) {
  ScopedTempDir dir;
  const std::string name = dir.File("disp.txt");
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kOpenExisting), plat::kErrorFileNotFound);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kTruncateExisting), plat::kErrorFileNotFound);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kCreateNew), 0u);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kCreateNew), plat::kErrorFileExists);
  WriteFileText(name, "old content");
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenAlways), 0u);
  EXPECT_EQ(ReadFileText(name), "old content");
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kCreateAlways), 0u);
  EXPECT_EQ(ReadFileText(name), "");
  WriteFileText(name, "again");
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, 0, plat::kTruncateExisting), 0u);
  EXPECT_EQ(ReadFileText(name), "");
}

TEST(FileTest, SecondWriterFailsWithSharingViolation) {
  ScopedTempDir dir;
  const std::string name = dir.File("shared.log");
  FileHandle writer = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways),
            plat::kErrorSharingViolation);
  // Sharing write itself does not help: the first handle does not share it.
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenAlways),
            plat::kErrorSharingViolation);
  // A refused CREATE_ALWAYS leaves the content alone.
  EXPECT_EQ(plat::WriteAll(writer, "kept", 4), 0u);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, kShareReadWrite, plat::kCreateAlways),
            plat::kErrorSharingViolation);
  EXPECT_EQ(plat::CloseFile(writer), 0u);
  EXPECT_EQ(ReadFileText(name), "kept");
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways), 0u);
}

TEST(FileTest, WritersSharingWriteCoexist) {
  ScopedTempDir dir;
  const std::string name = dir.File("both.log");
  FileHandle first = MustOpen(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenAlways);
  FileHandle second = MustOpen(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenAlways);
  plat::CloseFile(second);
  plat::CloseFile(first);
}

TEST(FileTest, WritersExcludeEachOtherUnderContention) {
  ScopedTempDir dir;
  const std::string name = dir.File("contended.log");
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> opened{0};
  auto body = [&] {
    for (int i = 0; i < 200; ++i) {
      FileHandle file = nullptr;
      uint32_t code =
          plat::OpenFile(name.c_str(), plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways, &file);
      if (code == plat::kErrorSharingViolation) continue;
      if (code != 0) return code;
      if (holders.fetch_add(1) != 0) overlaps.fetch_add(1);
      opened.fetch_add(1);
      holders.fetch_sub(1);
      plat::CloseFile(file);
    }
    return 0u;
  };
  yxtest::TestThread a(body);
  yxtest::TestThread b(body);
  yxtest::TestThread c(body);
  EXPECT_EQ(a.Join(), 0u);
  EXPECT_EQ(b.Join(), 0u);
  EXPECT_EQ(c.Join(), 0u);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(opened.load(), 0);
}

TEST(FileTest, ReaderSharingOnlyReadFailsWhileTheFileIsWritten) {
  ScopedTempDir dir;
  const std::string name = dir.File("read.wli");
  WriteFileText(name, "[Evts]\r\nAP=\r\n");
  FileHandle writer = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenExisting);
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting),
            plat::kErrorSharingViolation);
  // A reader that shares write tolerates the writer.
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, kShareReadWrite, plat::kOpenExisting), 0u);
  plat::CloseFile(writer);
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting), 0u);
}

TEST(FileTest, ReadersSharingReadCoexistAndKeepWritersOut) {
  ScopedTempDir dir;
  const std::string name = dir.File("readers.txt");
  WriteFileText(name, "x");
  FileHandle first = MustOpen(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting);
  FileHandle second = MustOpen(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenExisting),
            plat::kErrorSharingViolation);
  plat::CloseFile(first);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenExisting),
            plat::kErrorSharingViolation);
  plat::CloseFile(second);
  EXPECT_EQ(OpenCode(name, plat::kGenericWrite, kShareReadWrite, plat::kOpenExisting), 0u);
}

TEST(FileTest, ReaderDenyingReadKeepsOtherReadersOut) {
  ScopedTempDir dir;
  const std::string name = dir.File("exclusive.txt");
  WriteFileText(name, "x");
  FileHandle reader = MustOpen(name, plat::kGenericRead, 0, plat::kOpenExisting);
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, kShareReadWrite, plat::kOpenExisting),
            plat::kErrorSharingViolation);
  plat::CloseFile(reader);
}

TEST(FileTest, QueryHandleNeverConflicts) {
  ScopedTempDir dir;
  const std::string name = dir.File("query.wli");
  WriteFileText(name, "12345");
  // A query handle sharing nothing does not keep a writer out ...
  FileHandle quiet = MustOpen(name, 0, 0, plat::kOpenExisting);
  FileHandle writer = MustOpen(name, plat::kGenericWrite, 0, plat::kOpenExisting);
  // ... nor does a writer sharing nothing keep a query handle out.
  FileHandle query = MustOpen(name, 0, kShareReadWrite, plat::kOpenExisting);
  uint64_t size = 0;
  EXPECT_EQ(plat::FileSize(query, &size), 0u);
  EXPECT_EQ(size, 5u);
  plat::SystemTime time = {};
  EXPECT_EQ(plat::LastWriteTimeLocal(query, &time), 0u);
  EXPECT_GE(time.wYear, 2000);
  // Its content is out of reach.
  char buf[4];
  uint32_t done = 0;
  EXPECT_EQ(plat::ReadAll(query, buf, sizeof buf, &done), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::WriteAll(query, "x", 1), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::CloseFile(query), 0u);
  EXPECT_EQ(plat::CloseFile(writer), 0u);
  EXPECT_EQ(plat::CloseFile(quiet), 0u);
}

TEST(FileTest, WriteThroughAReadHandleIsDenied) {
  ScopedTempDir dir;
  const std::string name = dir.File("ro.txt");
  WriteFileText(name, "x");
  FileHandle reader = MustOpen(name, plat::kGenericRead, kShareReadWrite, plat::kOpenExisting);
  EXPECT_EQ(plat::WriteAll(reader, "y", 1), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);
  plat::CloseFile(reader);
  EXPECT_EQ(ReadFileText(name), "x");
}

TEST(FileTest, MissingFileIs2AndMissingDirectoryIs3) {
  ScopedTempDir dir;
  const std::string missing = dir.File("missing.wli");
  const std::string noDir = dir.File("no-such-dir", "x.log");
  EXPECT_EQ(OpenCode(missing, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting),
            plat::kErrorFileNotFound);
  EXPECT_EQ(OpenCode(missing, 0, kShareReadWrite, plat::kOpenExisting), plat::kErrorFileNotFound);
  EXPECT_EQ(OpenCode(noDir, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenAlways),
            plat::kErrorPathNotFound);
  EXPECT_EQ(OpenCode(noDir, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting),
            plat::kErrorPathNotFound);

  EXPECT_EQ(plat::DeleteFileByName(missing.c_str()), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::DeleteFileByName(noDir.c_str()), plat::kErrorPathNotFound);

  plat::SystemTime time;
  EXPECT_EQ(plat::LastWriteTimeLocal(missing.c_str(), &time), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::LastWriteTimeLocal(noDir.c_str(), &time), plat::kErrorPathNotFound);
}

TEST(FileTest, DirectoryIsNoFile) {
  ScopedTempDir dir;
  EXPECT_EQ(OpenCode(dir.Path().string(), plat::kGenericRead, kShareReadWrite, plat::kOpenExisting),
            plat::kErrorAccessDenied);
}

TEST(FileTest, DeleteRemovesTheFileButNotWhileAHandleDeniesIt) {
  ScopedTempDir dir;
  const std::string name = dir.File("gone.log");
  WriteFileText(name, "x");
  FileHandle writer = MustOpen(name, plat::kGenericWrite, plat::kFileShareRead, plat::kOpenExisting);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), plat::kErrorSharingViolation);
  plat::CloseFile(writer);
  // A query handle does not hold the file against deletion.
  FileHandle query = MustOpen(name, 0, 0, plat::kOpenExisting);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), 0u);
  plat::CloseFile(query);
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting),
            plat::kErrorFileNotFound);
}

TEST(FileTest, HandleSharingDeleteLetsTheFileBeDeleted) {
  ScopedTempDir dir;
  const std::string name = dir.File("del.log");
  WriteFileText(name, "x");
  FileHandle reader =
      MustOpen(name, plat::kGenericRead, kShareReadWrite | plat::kFileShareDelete, plat::kOpenExisting);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), 0u);
  plat::CloseFile(reader);
  EXPECT_EQ(OpenCode(name, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting),
            plat::kErrorFileNotFound);
}

TEST(FileTest, LastWriteTimeIsCloseToLocalTime) {
  ScopedTempDir dir;
  const std::string name = dir.File("time.wli");
  plat::SystemTime now;
  plat::LocalTime(&now);
  WriteFileText(name, "x");
  plat::SystemTime byName = {};
  ASSERT_EQ(plat::LastWriteTimeLocal(name.c_str(), &byName), 0u);
  FileHandle query = MustOpen(name, 0, kShareReadWrite, plat::kOpenExisting);
  plat::SystemTime byHandle = {};
  ASSERT_EQ(plat::LastWriteTimeLocal(query, &byHandle), 0u);
  plat::CloseFile(query);

  EXPECT_EQ(ToMs(byName), ToMs(byHandle));
  EXPECT_LT(std::llabs(ToMs(byName) - ToMs(now)), 5000)
      << byName.wHour << ":" << byName.wMinute << " vs " << now.wHour << ":" << now.wMinute;
  EXPECT_GE(byName.wMonth, 1);
  EXPECT_LE(byName.wMonth, 12);
  EXPECT_LE(byName.wDayOfWeek, 6);
  EXPECT_LT(byName.wMilliseconds, 1000);
}

TEST(FileTest, NullHandleIsInvalid) {
  EXPECT_EQ(plat::CloseFile(nullptr), plat::kErrorInvalidHandle);
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidHandle);
}

}  // namespace

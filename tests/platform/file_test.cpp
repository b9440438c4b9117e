// The file services: creation dispositions, appending, reading back, share
// modes between handles, query handles, error codes and last-write times.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/File.h"
#include "platform/log_platform_support.h"

namespace {

using plat::FileHandle;
using namespace yxtest;

TEST(FileTest, WritesFromTheStartOrTheEndAndReadsBack) {
  ScopedTempDir dir;
  const std::string name = dir.File("append.log");
  FileHandle file = MustOpen(name, kW, kShareR, plat::kOpenAlways);
  uint64_t position = 99;
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(plat::WriteAll(file, "abcx", 4), 0u);
  EXPECT_EQ(plat::FlushFile(file), 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);
  file = MustOpen(name, kW, kShareR, plat::kOpenAlways);
  EXPECT_EQ(plat::WriteAll(file, "A", 1), 0u);  // without a seek: from the start
  EXPECT_EQ(plat::SeekToEnd(file, &position), 0u);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(plat::WriteAll(file, "defg", 4), 0u);
  EXPECT_EQ(plat::CloseFile(file), 0u);

  file = MustOpen(name, kR, kShareR, plat::kOpenExisting);
  uint64_t size = 0;
  EXPECT_EQ(plat::FileSize(file, &size), 0u);
  EXPECT_EQ(size, 8u);
  char buf[16] = {};
  uint32_t done = 0;
  EXPECT_EQ(plat::ReadAll(file, buf, sizeof buf, &done), 0u);
  EXPECT_EQ(std::string(buf, done), "Abcxdefg");
  EXPECT_EQ(plat::ReadAll(file, buf, sizeof buf, &done), 0u);  // at the end
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(plat::WriteAll(file, "y", 1), plat::kErrorAccessDenied);  // a read handle
  EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::CloseFile(file), 0u);
  EXPECT_EQ(plat::CloseFile(nullptr), plat::kErrorInvalidHandle);
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidHandle);
}

TEST(FileTest, CreationDispositions) {
  ScopedTempDir dir;
  const std::string name = dir.File("disp.txt");
  // clang-format off
  const struct { uint32_t access, disposition; const char* before; uint32_t code; const char* after; } cases[] = {
      {kW, plat::kOpenExisting,     nullptr, plat::kErrorFileNotFound, nullptr},
      {kW, plat::kTruncateExisting, nullptr, plat::kErrorFileNotFound, nullptr},
      {kW, plat::kCreateNew,        nullptr, 0,                        ""},
      {kW, plat::kCreateNew,        "old",   plat::kErrorFileExists,   "old"},
      {kR, plat::kOpenAlways,       "old",   0,                        "old"},
      {kW, plat::kCreateAlways,     "old",   0,                        ""},
      {kW, plat::kTruncateExisting, "old",   0,                        ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.disposition) + (c.before != nullptr ? " on a file" : " on nothing"));
    plat::DeleteFileByName(name.c_str());
    if (c.before != nullptr) yx::test::WriteFile(name, c.before);
    EXPECT_EQ(OpenCode(name, c.access, kShareR, c.disposition), c.code);
    if (c.after != nullptr) {
      EXPECT_TRUE(std::filesystem::exists(name));
      EXPECT_EQ(yx::test::ReadFile(name), c.after);
    }
  }
}

// A second open while a first handle is open: the share modes of each must
// allow the other's access; a query handle (no access) never conflicts. A
// refused open leaves the content alone.
TEST(FileTest, ShareModesBetweenTwoHandles) {
  ScopedTempDir dir;
  const std::string name = dir.File("shared.log");
  // clang-format off
  const struct { uint32_t access1, share1, access2, share2, disposition2, code; } cases[] = {
      {kW, kShareR,  kW, kShareR,  plat::kOpenAlways,   plat::kErrorSharingViolation},
      {kW, kShareR,  kW, kShareRW, plat::kOpenAlways,   plat::kErrorSharingViolation},
      {kW, kShareR,  kW, kShareRW, plat::kCreateAlways, plat::kErrorSharingViolation},
      {kW, kShareR,  kR, kShareR,  plat::kOpenExisting, plat::kErrorSharingViolation},
      {kW, kShareR,  kR, kShareRW, plat::kOpenExisting, 0},
      {kW, kShareRW, kW, kShareRW, plat::kOpenAlways,   0},
      {kR, kShareR,  kR, kShareR,  plat::kOpenExisting, 0},
      {kR, kShareR,  kW, kShareRW, plat::kOpenExisting, plat::kErrorSharingViolation},
      {kR, 0,        kR, kShareRW, plat::kOpenExisting, plat::kErrorSharingViolation},
      {0,  0,        kW, 0,        plat::kOpenExisting, 0},
      {kW, 0,        0,  kShareRW, plat::kOpenExisting, 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.access1 << "/" << c.share1 << " then " << c.access2 << "/"
                                    << c.share2);
    yx::test::WriteFile(name, "kept");
    FileHandle first = MustOpen(name, c.access1, c.share1, plat::kOpenExisting);
    EXPECT_EQ(OpenCode(name, c.access2, c.share2, c.disposition2), c.code);
    EXPECT_EQ(plat::CloseFile(first), 0u);
    EXPECT_EQ(yx::test::ReadFile(name), c.code == 0 && c.disposition2 == plat::kCreateAlways ? "" : "kept");
    EXPECT_EQ(OpenCode(name, c.access2, c.share2, plat::kOpenExisting), 0u);  // free again
  }
}

TEST(FileTest, QueryHandleReadsSizeAndTimeButNoContent) {
  ScopedTempDir dir;
  const std::string name = dir.File("query.wli");
  plat::SystemTime now;
  plat::LocalTime(&now);
  yx::test::WriteFile(name, "12345");
  FileHandle writer = MustOpen(name, kW, 0, plat::kOpenExisting);
  FileHandle query = MustOpen(name, 0, kShareRW, plat::kOpenExisting);
  uint64_t size = 0;
  EXPECT_EQ(plat::FileSize(query, &size), 0u);
  EXPECT_EQ(size, 5u);
  plat::SystemTime byHandle = {};
  plat::SystemTime byName = {};
  EXPECT_EQ(plat::LastWriteTimeLocal(query, &byHandle), 0u);
  EXPECT_EQ(plat::LastWriteTimeLocal(name.c_str(), &byName), 0u);
  char buf[4];
  uint32_t done = 0;
  EXPECT_EQ(plat::ReadAll(query, buf, sizeof buf, &done), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::WriteAll(query, "x", 1), plat::kErrorAccessDenied);
  EXPECT_EQ(plat::CloseFile(query), 0u);
  EXPECT_EQ(plat::CloseFile(writer), 0u);
  // The local time of the write, to the millisecond by either way of asking.
  auto ms = [](const plat::SystemTime& t) {
    return ((((t.wYear * 13 + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) * 60000LL +
           t.wSecond * 1000 + t.wMilliseconds;
  };
  EXPECT_EQ(ms(byName), ms(byHandle));
  if (byName.wDay == now.wDay) {
    EXPECT_EQ(byName.wDayOfWeek, now.wDayOfWeek);
  }
  EXPECT_LT(std::llabs(ms(byName) - ms(now)), 5000) << byName.wHour << ":" << byName.wMinute;
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
      uint32_t code = plat::OpenFile(name.c_str(), kW, kShareR, plat::kOpenAlways, &file);
      if (code == plat::kErrorSharingViolation) continue;
      if (code != 0) return code;
      if (holders.fetch_add(1) != 0) overlaps.fetch_add(1);
      opened.fetch_add(1);
      holders.fetch_sub(1);
      plat::CloseFile(file);
    }
    return 0u;
  };
  TestThread a(body), b(body), c(body);
  for (TestThread* thread : {&a, &b, &c}) EXPECT_EQ(thread->Join(), 0u);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(opened.load(), 0);
}

TEST(FileTest, MissingFilesDirectoriesAndDeletion) {
  ScopedTempDir dir;
  const std::string missing = dir.File("missing.wli");
  const std::string noDir = dir.File("no-such-dir", "x.log");
  plat::SystemTime time;
  for (const auto& [name, code] :
       {std::pair(missing, plat::kErrorFileNotFound), std::pair(noDir, plat::kErrorPathNotFound)}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenCode(name, kR, kShareR, plat::kOpenExisting), code);
    EXPECT_EQ(OpenCode(name, 0, kShareRW, plat::kOpenExisting), code);
    EXPECT_EQ(plat::DeleteFileByName(name.c_str()), code);
    EXPECT_EQ(plat::LastError(), code);
    EXPECT_EQ(plat::LastWriteTimeLocal(name.c_str(), &time), code);
  }
  EXPECT_EQ(OpenCode(noDir, kW, kShareR, plat::kOpenAlways), plat::kErrorPathNotFound);
  EXPECT_EQ(OpenCode(dir.Path().string(), kR, kShareRW, plat::kOpenExisting), plat::kErrorAccessDenied);

  const std::string name = dir.File("gone.log");
  yx::test::WriteFile(name, "x");
  FileHandle writer = MustOpen(name, kW, kShareR, plat::kOpenExisting);
  EXPECT_EQ(plat::DeleteFileByName(name.c_str()), plat::kErrorSharingViolation);
  plat::CloseFile(writer);
  // Neither a query handle nor one that shares delete holds the file.
  for (const auto& [access, share] : {std::pair(0u, 0u), std::pair(kR, kShareRW | plat::kFileShareDelete)}) {
    yx::test::WriteFile(name, "x");
    FileHandle handle = MustOpen(name, access, share, plat::kOpenExisting);
    EXPECT_EQ(plat::DeleteFileByName(name.c_str()), 0u);
    plat::CloseFile(handle);
    EXPECT_EQ(OpenCode(name, kR, kShareR, plat::kOpenExisting), plat::kErrorFileNotFound);
  }
}

}  // namespace

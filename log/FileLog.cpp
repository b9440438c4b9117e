// TFileLog: the record queue, the batch write to the log file, the file
// name by start mode, and the named lock.

#include <cstdio>
#include <cstring>
#include <new>

#include "Log.h"
#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/File.h"

namespace yx {
namespace {

// Messages are formatted into a buffer of this size first; longer ones are
// formatted again into a buffer that fits.
constexpr size_t kInlineMessage = 256;

// A batch writes its lines in pieces of about this size.
constexpr unsigned kBatchChunk = 1u << 20;

// The log file during one batch: opened for the first line to write, its
// lines collected in whole-line chunks that are written with one write each,
// flushed to disk once at the end and closed on every way out.
class TBatchFile {
 public:
  explicit TBatchFile(const BStr& name) : name_(name) { lines_.Reserve(4096); }
  ~TBatchFile() {
    if (file_ != nullptr) plat::CloseFile(file_);
  }
  TBatchFile(const TBatchFile&) = delete;
  TBatchFile& operator=(const TBatchFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // Opens the file for writing, sharing reading only, and moves to its end.
  uint32_t Open() {
    if (const uint32_t code = plat::OpenFile(name_.CStr(), plat::kGenericWrite, plat::kFileShareRead,
                                             plat::kOpenAlways, &file_)) {
      file_ = nullptr;
      return code;
    }
    return plat::SeekToEnd(file_, nullptr);
  }
  void AddLine(const TLogRecord& record, TLogParams& params) {
    if (lines_.Capacity() - lines_.Length() < 1024) lines_.Reserve(lines_.Capacity() * 2);
    record.FormatLine(params, &lines_);
  }
  bool IsChunkFull() const { return lines_.Length() >= kBatchChunk; }
  // Writes the collected lines; they are gone from the chunk only once written.
  uint32_t WriteChunk() {
    if (lines_.Length() == 0) return 0;
    if (const uint32_t code = plat::WriteAll(file_, lines_.CStr(), lines_.Length())) return code;
    lines_.Clear();
    return 0;
  }
  // Flushes the written lines to disk and closes the file.
  uint32_t Finish() {
    const uint32_t code = plat::FlushFile(file_);
    plat::CloseFile(file_);
    file_ = nullptr;
    return code;
  }

 private:
  const BStr& name_;
  plat::FileHandle file_ = nullptr;
  BStr lines_;
};

}  // namespace

TLogLock::TLogLock(TFileLog* log) : log_(log), handle_(log->Lock()) {}
TLogLock::~TLogLock() { log_->Unlock(handle_); }

TFileLog::TFileLog() {
  // The lock-keeper handle keeps the mutex alive as long as the logger.
  plat::CreateNamedMutex(LockName().CStr(), &lockKeeper_);
}

TFileLog::~TFileLog() {
  if (!writerMayRun_) {
    WriteQueue();
    if (open_) TFileLog::Close();
  }
  if (lockKeeper_ != nullptr) {
    plat::ReleaseMutexHandle(lockKeeper_);
    plat::CloseMutexHandle(lockKeeper_);
  }
  if (lock_ != nullptr && !writerMayRun_) {
    plat::ReleaseMutexHandle(lock_);
    plat::CloseMutexHandle(lock_);
  }
}

BStr TFileLog::LockName() const {
  BStr name("YX_Log_");
  char digits[24];
  std::snprintf(digits, sizeof digits, "%llu",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
  name += digits;
  return name;
}

plat::MutexHandle TFileLog::Lock() {
  plat::MutexHandle handle = lock_;
  if (handle != nullptr) plat::WaitMutex(handle, plat::kInfinite);
  return handle;
}

void TFileLog::Unlock(plat::MutexHandle locked) {
  if (locked != nullptr) plat::ReleaseMutexHandle(locked);
}

uint32_t TFileLog::Open() {
  if (open_) return 1;
  if (params_.LogPath().Length() == 0) return plat::kErrorInvalidParameter;
  lastWrite_ = plat::TickCount();
  switch (params_.StartMode() & 3) {
    case kStartAppend: fileName_ = params_.LogPath(); break;
    case kStartOverwrite:
      fileName_ = params_.LogPath();
      plat::DeleteFileByName(fileName_.CStr());
      break;
    case kStartNew: {
      // The log path with the open time before its extension.
      const BStr base = PathWithoutExtension(params_.LogPath().CStr());
      fileName_ = base;
      fileName_ += TDateTime::Now().Format("yyyyMMdd-HHmmssii", kLocaleUserDefault);
      fileName_ += params_.LogPath().CStr() + base.Length();
      break;
    }
    default: return plat::kErrorInvalidParameter;
  }
  const uint32_t result = plat::OpenNamedMutex(LockName().CStr(), &lock_);
  if (result != 0) {
    lock_ = nullptr;
    fileName_.Clear();
    return result;
  }
  open_ = true;
  return 0;
}

uint32_t TFileLog::Close() {
  if (!open_) return 1;
  plat::MutexHandle handle = lock_;
  plat::WaitMutex(handle, 1000);
  lock_ = nullptr;
  plat::ReleaseMutexHandle(handle);
  plat::CloseMutexHandle(handle);
  open_ = false;
  fileName_.Clear();
  return 0;
}

uint32_t TFileLog::Log(const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(category, format, args);
  va_end(args);
  return 0;
}

uint32_t TFileLog::LogV(const char* category, const char* format, va_list args) {
  // The logging boundary never throws into its callers.
  try {
    char inlineText[kInlineMessage];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(inlineText, sizeof inlineText, format != nullptr ? format : "", args);
    const char* message = "";
    TCharBuffer longText;
    if (n >= 0 && size_t(n) < sizeof inlineText) {
      message = inlineText;
    } else if (n >= 0) {
      longText.Alloc(unsigned(n) + 1);
      std::vsnprintf(longText.Chars(), size_t(n) + 1, format, again);
      message = longText.Chars();
    }
    va_end(again);
    TLogLock lock(this);
    // The record takes its time stamp under the lock, so queue order and
    // time order agree.
    queue_.Push(new TLogRecord(category != nullptr ? category : "", message));
    if (IsFlushDue()) WriteQueue();
  } catch (...) {
  }
  return 0;
}

bool TFileLog::IsFlushDue() const {
  if (queue_.Count() > uint32_t(params_.FlushLines())) return true;
  return plat::TickCount() - lastWrite_ > params_.FlushPeriodMs();
}

uint32_t TFileLog::Flush() {
  TLogLock lock(this);
  return WriteQueue();
}

uint32_t TFileLog::WriteQueue() {
  if (params_.Events().Count() == 0) {
    queue_.Clear();
    return 0;
  }
  if (queue_.Count() == 0) return 0;
  if (const uint32_t result = WriteBatch()) {
    BoundQueue();
    return result;
  }
  lastWrite_ = plat::TickCount();
  return 0;
}

uint32_t TFileLog::WriteBatch() {
  TBatchFile file(fileName_);
  TLogRecord* previous = nullptr;  // the last record kept in the queue
  uint32_t pending = 0;            // records at the head whose lines wait in the chunk
  auto writeChunk = [&]() -> uint32_t {
    if (const uint32_t code = file.WriteChunk()) return code;
    for (; pending != 0; --pending) delete queue_.Pop();
    previous = nullptr;
    return 0;
  };
  for (TLogRecord* record = queue_.Oldest(); record != nullptr;) {
    TLogRecord* next = TLogQueue::Next(record);
    if (!params_.PassesEvents(record->Category(), record->Message())) {
      queue_.DeleteAfter(previous);
      record = next;
      continue;
    }
    // The file is opened for the first line to write, so a batch whose
    // records all fail the filter does not touch it, and a file that cannot
    // be opened costs one attempt, however long the queue.
    if (!file.IsOpen()) {
      if (const uint32_t code = file.Open()) return code;
    }
    file.AddLine(*record, params_);
    ++pending;
    previous = record;
    if (file.IsChunkFull()) {
      if (const uint32_t code = writeChunk()) return code;
    }
    record = next;
  }
  if (!file.IsOpen()) return 0;
  if (const uint32_t code = writeChunk()) return code;
  return file.Finish();
}

void TFileLog::BoundQueue() {
  // Nothing written is lost; but while batches keep failing the queue is
  // bounded, the oldest records going first.
  while (queue_.Count() > kQueueBound) {
    delete queue_.Pop();
    ++dropped_;
  }
}

}  // namespace yx

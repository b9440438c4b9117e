// TFileLog: the record queue, the batch write to the log file, the file
// name by start mode, and the named lock.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "Log.h"
#include "MessageText.h"
#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/File.h"

namespace yx {
namespace {

// A batch writes its lines in pieces of about this size.
constexpr unsigned kBatchChunk = 1u << 20;

// The batch buffer is kept from batch to batch up to this size.
constexpr unsigned kKeptLines = 1u << 16;

// After a failed batch Log leaves the queue to later batches for this long,
// doubled after each further failure up to the limit; the writer thread's
// flush timer and Close try at any time.
constexpr uint32_t kFirstBackOffMs = 100;
constexpr uint32_t kLastBackOffMs = 3200;

// The log file during one batch: opened for the first line to write, its
// lines collected in whole-line chunks that are written with one write each,
// flushed to disk once at the end and closed on every way out. A chunk whose
// write fails is cut off the file again, so the file holds whole lines only
// and each of them once.
class TBatchFile {
 public:
  // `lines` holds the lines waiting for their write; it is the logger's,
  // kept from batch to batch with its buffer.
  TBatchFile(TLogFileOps* ops, const BStr& name, BStr* lines) : ops_(ops), name_(name), lines_(*lines) {
    lines_.Clear();
    if (lines_.Capacity() < 4096) lines_.Reserve(4096);
  }
  ~TBatchFile() {
    if (file_ != nullptr) ops_->Close(file_);
    // The buffer of an unusually long batch is not kept.
    if (lines_.Capacity() > kKeptLines) lines_ = BStr();
  }
  TBatchFile(const TBatchFile&) = delete;
  TBatchFile& operator=(const TBatchFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  plat::FileHandle Handle() const { return file_; }
  // Opens the file and moves to its end.
  uint32_t Open() {
    if (const uint32_t code = ops_->Open(name_.CStr(), &file_)) {
      file_ = nullptr;
      return code;
    }
    return ops_->SeekToEnd(file_, &end_);
  }
  void AddLine(const TLogRecord& record, TLogParams& params) {
    if (lines_.Capacity() - lines_.Length() < 1024) lines_.Reserve(lines_.Capacity() * 2);
    record.FormatLine(params, &lines_);
  }
  bool IsChunkFull() const { return lines_.Length() >= kBatchChunk; }
  // Writes the collected lines; they leave the chunk only once written.
  uint32_t WriteChunk() {
    if (lines_.Length() == 0) return 0;
    if (const uint32_t code = ops_->Write(file_, lines_.CStr(), lines_.Length())) {
      // The part that was written (a full disk takes what fits) goes again.
      ops_->CutAt(file_, end_);
      return code;
    }
    end_ += lines_.Length();
    lines_.Clear();
    return 0;
  }
  // The open file, which the caller now closes.
  plat::FileHandle Detach() {
    const plat::FileHandle file = file_;
    file_ = nullptr;
    return file;
  }
  // Flushes the written lines to disk and closes the file.
  uint32_t Finish() {
    const uint32_t code = ops_->Flush(file_);
    const plat::FileHandle file = file_;
    file_ = nullptr;
    ops_->Close(file);
    return code;
  }

 private:
  TLogFileOps* ops_;
  const BStr& name_;
  plat::FileHandle file_ = nullptr;
  uint64_t end_ = 0;  // the file size behind the last whole chunk
  BStr& lines_;
};

}  // namespace

uint32_t TLogFileOps::Open(const char* name, plat::FileHandle* file) {
  return plat::OpenFile(name, plat::kGenericWrite | plat::kFileAppendData, plat::kFileShareRead,
                        plat::kOpenAlways, file);
}
uint32_t TLogFileOps::SeekToEnd(plat::FileHandle file, uint64_t* position) {
  return plat::SeekToEnd(file, position);
}
uint32_t TLogFileOps::Write(plat::FileHandle file, const void* bytes, uint32_t size) {
  return plat::WriteAll(file, bytes, size);
}
uint32_t TLogFileOps::CutAt(plat::FileHandle file, uint64_t size) { return plat::CutFileAt(file, size); }
uint32_t TLogFileOps::Flush(plat::FileHandle file) { return plat::FlushFile(file); }
uint32_t TLogFileOps::Close(plat::FileHandle file) { return plat::CloseFile(file); }
uint32_t TLogFileOps::ReleaseShare(plat::FileHandle file) { return plat::ReleaseShareMode(file); }

uint32_t TPendingFlush::Finish() {
  written_.Clear();
  if (file_ == nullptr) return 0;
  const plat::FileHandle file = file_;
  file_ = nullptr;
  const uint32_t code = ops_->Flush(file);
  ops_->Close(file);
  return code;
}

TLogFileOps& TLogFileOps::System() {
  // Never destroyed: loggers still write at the process's exit.
  static TLogFileOps* const ops = new TLogFileOps();
  return *ops;
}

TLogLock::TLogLock(TFileLog* log) : log_(log), handle_(log->Lock()) {}
TLogLock::~TLogLock() { log_->Unlock(handle_); }

TFileLog::TFileLog() {
  // The lock-keeper handle keeps the mutex alive as long as the logger.
  plat::CreateNamedMutex(LockName().CStr(), &lockKeeper_);
}

TFileLog::~TFileLog() {
  // A level above has stopped its writer thread by now.
  if (open_) {
    Flush();
    TFileLog::Close();
  }
  if (lockKeeper_ != nullptr) {
    plat::ReleaseMutexHandle(lockKeeper_);
    plat::CloseMutexHandle(lockKeeper_);
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
  stateLock_.lock();
  plat::MutexHandle handle = lock_;
  if (handle != nullptr) plat::WaitMutex(handle, plat::kInfinite);
  return handle;
}

void TFileLog::Unlock(plat::MutexHandle locked) {
  if (locked != nullptr) plat::ReleaseMutexHandle(locked);
  stateLock_.unlock();
}

uint32_t TFileLog::QueuedRecords() const {
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
  return queue_.Count();
}

uint64_t TFileLog::DroppedRecords() const {
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
  return dropped_;
}

void TFileLog::SetFileOps(TLogFileOps* ops) {
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
  fileOps_ = ops != nullptr ? ops : &TLogFileOps::System();
}

uint32_t TFileLog::Open() {
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
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
  // No thread is inside the lock while the handle goes.
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
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
    const TMessageText message(format, args);
    // The record is built outside the lock and takes its time stamp under
    // it, so that queue order and time order agree.
    std::unique_ptr<TLogRecord> record(
        TLogRecord::MakeUnstamped(category, message.Chars(), message.Length()));
    TPendingFlush pending;
    {
      TLogLock lock(this);
      record->Stamp();
      queue_.Push(record.release());
      if (!open_ || closing_) {
        // Kept for the next Open, within the bound.
        BoundQueue();
      } else if (IsBackingOff()) {
        // The last batch failed a moment ago: the flush timer, a later call
        // or Close tries again; the caller does not wait for a full disk.
        BoundQueue();
      } else if (IsFlushDue()) {
        WriteQueue(&pending);
      }
    }
    FinishFlush(&pending);
  } catch (...) {
  }
  return 0;
}

bool TFileLog::IsFlushDue() const {
  if (queue_.Count() > uint32_t(params_.FlushLines())) return true;
  return plat::TickCount() - lastWrite_ > params_.FlushPeriodMs();
}

uint32_t TFileLog::Flush() {
  TPendingFlush pending;
  uint32_t result;
  {
    TLogLock lock(this);
    result = WriteQueue(&pending);
  }
  const uint32_t flushed = FinishFlush(&pending);
  return result != 0 ? result : flushed;
}

uint32_t TFileLog::FinishFlush(TPendingFlush* pending) {
  const uint32_t code = pending->Finish();
  if (code != 0) {
    std::lock_guard<std::recursive_mutex> guard(stateLock_);
    NoteBatch(code);
  }
  return code;
}

uint32_t TFileLog::WriteQueue() { return WriteQueue(nullptr); }

uint32_t TFileLog::WriteQueue(TPendingFlush* pending) {
  // A closed logger keeps its records for the next Open.
  if (!open_) return 1;
  if (params_.Events().Count() == 0) {
    queue_.Clear();
    return 0;
  }
  if (queue_.Count() == 0) return 0;
  uint32_t result = 0;
  // The batch closes its file on every way out; what a failure inside it
  // raises becomes a failed batch, so that no caller (the writer thread
  // least of all) sees an exception.
  try {
    result = WriteBatch(pending);
  } catch (const EBadAlloc&) {
    result = plat::kErrorNotEnoughMemory;
  } catch (const std::bad_alloc&) {
    result = plat::kErrorNotEnoughMemory;
  } catch (...) {
    result = plat::kErrorInternalError;
  }
  NoteBatch(result);
  if (result != 0) {
    BoundQueue();
    return result;
  }
  lastWrite_ = plat::TickCount();
  return 0;
}

void TFileLog::NoteBatch(uint32_t result) {
  if (result == 0) {
    backOffMs_ = 0;
    return;
  }
  failedAt_ = plat::TickCount();
  backOffMs_ = backOffMs_ == 0 ? kFirstBackOffMs : std::min(backOffMs_ * 2, kLastBackOffMs);
}

bool TFileLog::IsBackingOff() const { return backOffMs_ != 0 && plat::TickCount() - failedAt_ < backOffMs_; }

uint32_t TFileLog::WriteBatch(TPendingFlush* flushLater) {
  TBatchFile file(fileOps_, fileName_, &batchLines_);
  TLogRecord* previous = nullptr;  // the last record kept in the queue
  uint32_t pending = 0;            // records at the head whose lines wait in the chunk
  auto writeChunk = [&]() -> uint32_t {
    if (const uint32_t code = file.WriteChunk()) return code;
    for (; pending != 0; --pending) {
      // Deleted once the lock is released, where the caller finishes later.
      TLogRecord* written = queue_.Pop();
      if (flushLater != nullptr) {
        flushLater->written_.Push(written);
      } else {
        delete written;
      }
    }
    previous = nullptr;
    return 0;
  };
  for (TLogRecord* record = queue_.Oldest(); record != nullptr;) {
    TLogRecord* next = TLogQueue::Next(record);
    if (!params_.PassesEvents(record->Category(), record->CategoryLength(), record->Message(),
                              record->MessageLength())) {
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
  // Every line is in the file; the flush to disk can wait for the lock's
  // release when others may open the file meanwhile.
  if (flushLater != nullptr && fileOps_->ReleaseShare(file.Handle()) == 0) {
    flushLater->ops_ = fileOps_;
    flushLater->file_ = file.Detach();
    return 0;
  }
  return file.Finish();
}

void TFileLog::BoundQueue() {
  // Nothing written is lost; but while batches keep failing, or while the
  // logger is closed, the queue is bounded, the oldest records going first.
  while (queue_.Count() > kQueueBound) {
    delete queue_.Pop();
    ++dropped_;
  }
}

}  // namespace yx

// The logger: one per process, found with TLog::Instance.
//
//   TLog& log = TLog::Instance();
//   log.Open();
//   log.Log("AP.", "started %s", name);
//   log.Close();
//
// Log formats the message at once, stamps it with the local time and the
// process and thread ids, and queues it. The queue is written to the log
// file in batches: by the logging thread when a flush is due (more records
// than the flush lines, or more time than the flush seconds since the last
// write), and by a writer thread on its flush timer. A batch keeps only the
// records that pass the event list of the settings file; with no event list
// nothing is written. The writer thread also re-reads the settings file on
// its settings timer.
//
// A failed batch keeps its records and leaves the file as it was; while
// batches keep failing, Log only queues (the queue bounded, the oldest
// records dropped first) and a batch is tried again after a growing pause,
// on the writer's flush timer and at Close. Records logged while the logger
// is closed wait for the next Open; a logger destroyed while open (a process
// that ends without Close) writes its queue first.
//
// Every access to the queue, the parameters and the file is serialised by an
// in-process lock and a named system mutex ("YX_Log_" and the logger's
// address). Operations return 0, 1 when they do not apply in the current
// state, 87 for a bad parameter, or a Windows error code; Log always returns
// 0 and never throws.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>

#include "BStr.h"
#include "DateTime.h"
#include "LogParams.h"
#include "LogRecord.h"
#include "plat/File.h"
#include "plat/Mutex.h"
#include "plat/Thread.h"

namespace yx {

// The writer thread's message (WM_USER + 1) and the commands it carries in
// wParam.
inline constexpr uint32_t kWriterMessage = 0x0401;
enum class TWriterCommand : uintptr_t {
  kStart = 0,      // read the settings and start both timers
  kDetach = 1,     // flush now, stop the timers, detach from the logger
  kFlushIfDue = 2  // flush if due
};

// Records queued while batches keep failing are bounded; the oldest go
// first, and are counted.
inline constexpr uint32_t kQueueBound = 10000;

class TLogBase : public TYxBsMem {
 public:
  ~TLogBase() override = default;
  virtual TLogParams& Params() = 0;
  virtual uint32_t Open() = 0;
  virtual uint32_t Close() = 0;
  virtual uint32_t Log(const char* category, const char* format, ...) = 0;
};

// The file operations of a batch: by default the platform's files; a test
// puts a device with faults (a full disk, a write that stops part-way)
// behind them.
class TLogFileOps {
 public:
  virtual ~TLogFileOps() = default;
  // Opens the log file for writing, sharing reading only, creating it when
  // it does not exist.
  virtual uint32_t Open(const char* name, plat::FileHandle* file);
  virtual uint32_t SeekToEnd(plat::FileHandle file, uint64_t* position);
  virtual uint32_t Write(plat::FileHandle file, const void* bytes, uint32_t size);
  virtual uint32_t CutAt(plat::FileHandle file, uint64_t size);
  virtual uint32_t Flush(plat::FileHandle file);
  virtual uint32_t Close(plat::FileHandle file);
  // Lets other writers open the file while this handle's flush to disk
  // still runs; non-zero where the platform cannot, and the handle is then
  // flushed and closed as before.
  virtual uint32_t ReleaseShare(plat::FileHandle file);

  // The platform's files.
  static TLogFileOps& System();
};

// The file of a batch whose lines are written, left to be flushed to disk
// and closed by the thread that wrote it once that thread has released the
// logger lock: other threads and processes wait for the lock, not for the
// disk. The written records are deleted then too.
class TPendingFlush {
 public:
  TPendingFlush() = default;
  ~TPendingFlush() { Finish(); }
  TPendingFlush(const TPendingFlush&) = delete;
  TPendingFlush& operator=(const TPendingFlush&) = delete;

  // Deletes the written records, flushes the file to disk and closes it:
  // 0, or the flush's code; 0 when no file is pending.
  uint32_t Finish();

 private:
  friend class TFileLog;
  TLogFileOps* ops_ = nullptr;
  plat::FileHandle file_ = nullptr;
  // The records whose lines the batch wrote, deleted outside the lock.
  TLogQueue written_;
};

// The queue, the log file, its name and the named lock.
//
// Besides the named lock, which serialises the loggers of every process
// that shares its name, an in-process lock guards the logger's own state:
// the queue, the parameters, the lock handle and the open flag. So a thread
// may log while another opens or closes the logger; a record logged while
// the logger is closed waits in the queue for the next Open.
class TFileLog : public TLogBase {
 public:
  TFileLog();
  ~TFileLog() override;

  TLogParams& Params() override { return params_; }
  // Chooses the current file name by the start mode and opens the lock
  // handle: 0, 1 when already open, 87 for an empty log path or start mode
  // 3, or the system's code.
  uint32_t Open() override;
  // Releases and closes the lock handle: 0, or 1 when not open.
  uint32_t Close() override;
  uint32_t Log(const char* category, const char* format, ...) override;
  uint32_t LogV(const char* category, const char* format, va_list args);

  // Whether more records are queued than the flush lines, or more time has
  // passed since the last write than the flush seconds.
  bool IsFlushDue() const;
  // Writes the queue (the caller holds the lock): records that pass the
  // event list are removed once their lines are in the file; a failed batch
  // keeps them and leaves no part of a line in the file. Returns 0, 1 while
  // the logger is closed (the queue waits for the next Open), or the
  // system's code (8 when memory ran out during the batch); never throws.
  uint32_t WriteQueue();
  // The same, but a batch whose lines are all written leaves its flush to
  // disk and its close in `pending`, for the caller to finish once it has
  // released the lock (FinishFlush).
  uint32_t WriteQueue(TPendingFlush* pending);
  // WriteQueue under the lock, the flush to disk after it: 0, or the code
  // of the batch or of its flush.
  uint32_t Flush();

  // "YX_Log_" and the decimal address of this logger.
  BStr LockName() const;
  bool IsOpen() const { return open_; }
  const BStr& CurrentFileName() const { return fileName_; }
  uint32_t QueuedRecords() const;
  // Records dropped because failing batches (or a long closed time) let the
  // queue grow too long.
  uint64_t DroppedRecords() const;

  // Puts other file operations behind the batches (null: the system's).
  // The object must outlive the logger's use of it.
  void SetFileOps(TLogFileOps* ops);

  // Takes and releases the logger lock: the in-process lock, then the named
  // one. Lock returns the handle it waited on, which Unlock releases, so a
  // lock taken before Open or Close changes the handle is released through
  // the same handle.
  plat::MutexHandle Lock();
  void Unlock(plat::MutexHandle locked);

 protected:
  // One batch of WriteQueue: the records that pass the event list are
  // written and leave the queue, the others are dropped. Returns 0 or the
  // code of the step that failed.
  uint32_t WriteBatch(TPendingFlush* flushLater);
  // Finishes a pending flush, outside the lock. A failed flush to disk is
  // a failed batch for the back-off (its lines are in the file and stay
  // out of the queue). Returns 0 or the flush's code.
  uint32_t FinishFlush(TPendingFlush* pending);
  // Drops the oldest records beyond the queue bound.
  void BoundQueue();
  // Whether Log should leave the queue to a later batch because the last
  // one failed a short time ago.
  bool IsBackingOff() const;
  // Notes the outcome of a batch for the back-off.
  void NoteBatch(uint32_t result);

  TLogQueue queue_;
  uint32_t lastWrite_ = 0;
  std::atomic<bool> open_{false};
  // Set while Close stops the writer: Log then only queues.
  bool closing_ = false;
  plat::MutexHandle lockKeeper_ = nullptr;
  plat::MutexHandle lock_ = nullptr;
  TLogParams params_;
  BStr fileName_;
  uint64_t dropped_ = 0;
  // While batches fail: the tick count of the last failure and the pause
  // before Log tries again (0: the last batch succeeded).
  uint32_t failedAt_ = 0;
  uint32_t backOffMs_ = 0;
  TLogFileOps* fileOps_ = &TLogFileOps::System();
  // The lines of the batch being written; its buffer serves every batch.
  BStr batchLines_;
  mutable std::recursive_mutex stateLock_;
};

// Holds the logger lock for a scope.
class TLogLock {
 public:
  explicit TLogLock(TFileLog* log);
  ~TLogLock();
  TLogLock(const TLogLock&) = delete;
  TLogLock& operator=(const TLogLock&) = delete;

 private:
  TFileLog* log_;
  plat::MutexHandle handle_;
};

// Adds the settings file.
class TSettingsLog : public TFileLog {
 public:
  TSettingsLog();
  ~TSettingsLog() override = default;

  // Reads the settings file into the parameters under the lock: the
  // sectioned format, or the line format when that fails. Returns the last
  // reader's result.
  virtual uint32_t ReadSettings();

  const BStr& SettingsFileName() const { return settingsFileName_; }
  TDateTime& StoredSettingsTime() { return settingsTime_; }
  int32_t RereadPeriod() const { return rereadPeriod_; }
  // 0, or 87 (the period stays) for 0.
  uint32_t SetRereadPeriod(int32_t seconds);

  // Sets the settings file and the log path from a program path: its
  // extension replaced by ".wli" and ".log".
  void SetFileNames(const char* programPath);

 protected:
  TDateTime settingsTime_;
  uint32_t lastSettingsRead_ = 0;
  BStr settingsFileName_;
  int32_t rereadPeriod_ = 60;
};

// Adds the writer thread.
class TThreadLog : public TSettingsLog {
 public:
  TThreadLog() = default;
  // Closes a logger still open, so that a process that ends without Close
  // (exit, a return from main) writes every queued record.
  ~TThreadLog() override;

  // Reads the settings, opens the file level and starts the writer thread;
  // the logger is open when the thread started. Returns 0 or the code of
  // the step that failed.
  uint32_t Open() override;
  // Stops the writer thread (which writes the queue a last time and resets
  // the parameters), then closes the file level. 0, or 1 when not open.
  // Records logged meanwhile stay queued for the next Open.
  uint32_t Close() override;

 protected:
  // The writer thread's timers; 0 while a timer does not exist.
  struct TWriterTimers {
    uintptr_t settings = 0;
    uintptr_t flush = 0;
  };

  uint32_t StartWriter();
  // Posts WM_QUIT and waits up to 10 s for the thread to end.
  uint32_t StopWriter();
  // Waits up to `limitMs` for an ended writer thread and forgets it; false
  // while it still runs. Open and Close call it, never under the lock.
  bool ReapWriter(uint32_t limitMs);
  static uint32_t WriterThread(void* logger);
  // The writer thread's message loop.
  void RunWriter();
  // Handles a command of the writer message; false once the thread has
  // detached from the logger.
  bool OnWriterCommand(TWriterCommand command, TWriterTimers* timers);
  // Reads the settings and (re)creates both timers with their periods.
  void StartTimers(TWriterTimers* timers);
  // The settings timer: reads the settings again and re-creates each timer
  // whose period they changed.
  void OnSettingsTick(TWriterTimers* timers);
  // After the loop: the last write of the queue, the parameters back to
  // their defaults, the timers stopped.
  void FinishWriter(TWriterTimers* timers);

  // Serialises Open and Close; the writer thread never takes it.
  std::mutex openClose_;
  uint32_t threadId_ = 0xFFFFFFFFu;
  // Kept until the thread has ended: a writer that outlived Close still
  // uses the logger, so the destructor waits for it.
  plat::ThreadHandle thread_ = nullptr;
  plat::EventHandle writerReady_ = nullptr;
};

class TLog : public TThreadLog {
 public:
  explicit TLog(uint32_t processId);
  ~TLog() override = default;

  // The logger of the current process, created on first use; never null.
  static TLog& Instance();

  uint32_t ProcessId() const { return processId_; }
  // By process id (mode 1); every other mode: equal.
  int Compare(const TLog* other, int mode) const;

 private:
  uint32_t processId_;
};

// Splits a command line's argument 0 off: up to the first space outside
// double quotes, surrounding double quotes removed.
BStr ProgramPath(const char* commandLine);
// Drive, directory and file name of a path, without the extension.
BStr PathWithoutExtension(const char* path);

}  // namespace yx

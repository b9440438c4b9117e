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
// Every access to the queue, the parameters and the file is serialised by a
// named system mutex ("YX_Log_" and the logger's address). Operations return
// 0, 1 when they do not apply in the current state, 87 for a bad parameter,
// or a Windows error code; Log always returns 0 and never throws.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "BStr.h"
#include "DateTime.h"
#include "LogParams.h"
#include "LogRecord.h"
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

// The queue, the log file, its name and the named lock.
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
  // keeps them. Returns 0 or the system's code.
  uint32_t WriteQueue();
  // WriteQueue under the lock.
  uint32_t Flush();

  // "YX_Log_" and the decimal address of this logger.
  BStr LockName() const;
  bool IsOpen() const { return open_; }
  const BStr& CurrentFileName() const { return fileName_; }
  uint32_t QueuedRecords() const { return queue_.Count(); }
  // Records dropped because failing batches let the queue grow too long.
  uint64_t DroppedRecords() const { return dropped_; }

  // Takes and releases the logger lock. Lock returns the handle it waited
  // on, which Unlock releases, so a lock taken before Open or Close changes
  // the handle is released through the same handle.
  plat::MutexHandle Lock();
  void Unlock(plat::MutexHandle locked);

 protected:
  // One batch of WriteQueue: the records that pass the event list are
  // written and leave the queue, the others are dropped. Returns 0 or the
  // code of the step that failed.
  uint32_t WriteBatch();
  // After a failed batch: drops the oldest records beyond the queue bound.
  void BoundQueue();

  // Set by a level above when its writer thread outlived Close: the
  // destructor then leaves the queue to that thread.
  bool writerMayRun_ = false;

  TLogQueue queue_;
  uint32_t lastWrite_ = 0;
  bool open_ = false;
  plat::MutexHandle lockKeeper_ = nullptr;
  plat::MutexHandle lock_ = nullptr;
  TLogParams params_;
  BStr fileName_;
  uint64_t dropped_ = 0;
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
  ~TThreadLog() override;

  // Reads the settings, opens the file level and starts the writer thread;
  // the logger is open when the thread started. Returns 0 or the code of
  // the step that failed.
  uint32_t Open() override;
  // Stops the writer thread (which writes the queue a last time and resets
  // the parameters), then closes the file level. 0, or 1 when not open.
  uint32_t Close() override;

 protected:
  // The writer thread's timers; 0 while a timer does not exist.
  struct TWriterTimers {
    uintptr_t settings = 0;
    uintptr_t flush = 0;
  };

  uint32_t StartWriter();
  uint32_t StopWriter();
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

  uint32_t threadId_ = 0xFFFFFFFFu;
  plat::ThreadHandle thread_ = nullptr;
  plat::EventHandle writerReady_ = nullptr;
  // Set by the writer thread as its last act; until then the destructor
  // leaves the queue alone.
  std::atomic<bool> writerEnded_{true};
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

// TSettingsLog, TThreadLog with its writer thread, TLog and the
// process-wide logger table.

#include "Log.h"

#include <memory>

#include "Settings.h"
#include "plat/Clock.h"
#include "plat/Error.h"
#include "plat/Process.h"

namespace yx {
namespace {

// The writer thread's final flush retries a batch that failed with a sharing
// or lock violation (the log file held by another process, whose loggers
// may take it again and again) every 10 ms for up to 5 s, within the 10 s
// that StopWriter waits for it.
constexpr int kFinalFlushTries = 500;
constexpr uint32_t kFinalFlushPause = 10;
constexpr uint32_t kWriterStartLimit = 1000;
constexpr uint32_t kWriterStopLimit = 10000;

uint32_t PeriodMs(int32_t seconds) { return uint32_t(seconds) * 1000u; }

void KillTimer(uintptr_t* timer) {
  if (*timer != 0) plat::KillThreadTimer(*timer);
  *timer = 0;
}

void RestartTimer(uintptr_t* timer, uint32_t periodMs) {
  KillTimer(timer);
  *timer = plat::SetThreadTimer(periodMs);
}

}  // namespace

BStr ProgramPath(const char* commandLine) {
  if (commandLine == nullptr) return BStr();
  const char* p = commandLine;
  bool quoted = false;
  while (*p != '\0' && (quoted || *p != ' ')) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  BStr path(commandLine, unsigned(p - commandLine));
  if (p == commandLine) path = "";
  path.Unquote();
  return path;
}

BStr PathWithoutExtension(const char* path) {
  BStr text(path);
  const char* s = text.CStr();
  unsigned nameStart = (text.Length() >= 2 && s[1] == ':') ? 2 : 0;
  for (unsigned i = 0; i < text.Length(); ++i) {
    if (s[i] == '\\' || s[i] == '/') nameStart = i + 1;
  }
  unsigned dot = text.Length();
  for (unsigned i = nameStart; i < text.Length(); ++i) {
    if (s[i] == '.') dot = i;
  }
  text.CutTail(text.Length() - dot);
  return text;
}

// ---------------------------------------------------------------------------
// TSettingsLog

TSettingsLog::TSettingsLog() { SetFileNames(ProgramPath(plat::CommandLine()).CStr()); }

void TSettingsLog::SetFileNames(const char* programPath) {
  const BStr base = PathWithoutExtension(programPath);
  settingsFileName_ = base + ".wli";
  params_.SetLogPath((base + ".log").CStr());
}

uint32_t TSettingsLog::SetRereadPeriod(int32_t seconds) {
  if (seconds == 0) return plat::kErrorInvalidParameter;
  rereadPeriod_ = seconds;
  return 0;
}

uint32_t TSettingsLog::ReadSettings() {
  TLogLock lock(this);
  settingsTime_.Clear();
  uint32_t result = TSectionSettingsReader(this).Read();
  if (result == kNoSectionHeader) result = TSettingsReader(this).Read();
  lastSettingsRead_ = plat::TickCount();
  return result;
}

// ---------------------------------------------------------------------------
// TThreadLog

TThreadLog::~TThreadLog() {
  TThreadLog::Close();
  // A writer that outlived Close still uses the queue and the lock: the
  // members stay until it has ended.
  if (thread_ != nullptr) {
    plat::PostThreadMessageTo(threadId_, plat::kWmQuit, 0, 0);
    ReapWriter(plat::kInfinite);
  }
  if (writerReady_ != nullptr) plat::CloseEventObject(writerReady_);
}

uint32_t TThreadLog::Open() {
  std::lock_guard<std::mutex> openClose(openClose_);
  // The writer of an earlier Open that has not ended yet needs the lock to
  // end: it is waited for before the lock is taken.
  if (!open_ && !ReapWriter(kWriterStopLimit)) return plat::kErrorInternalError;
  TLogLock lock(this);
  if (open_) return 0;
  ReadSettings();
  if (uint32_t result = TFileLog::Open()) return result;
  const uint32_t result = StartWriter();
  if (result != 0) {
    // Without its thread the logger stays closed.
    TFileLog::Close();
    return result;
  }
  return 0;
}

uint32_t TThreadLog::Close() {
  std::lock_guard<std::mutex> openClose(openClose_);
  {
    TLogLock lock(this);
    if (!open_) return 1;
    // From here on Log only queues: what the writer's last batch does not
    // take waits for the next Open.
    closing_ = true;
  }
  StopWriter();
  // The in-process lock only: the named one goes with the handle.
  std::lock_guard<std::recursive_mutex> guard(stateLock_);
  TFileLog::Close();
  closing_ = false;
  return 0;
}

uint32_t TThreadLog::StartWriter() {
  if (writerReady_ == nullptr) writerReady_ = plat::CreateEventObject(false, false);
  if (uint32_t code = plat::CreateThreadObject(&TThreadLog::WriterThread, this, &threadId_, &thread_)) {
    thread_ = nullptr;
    threadId_ = 0xFFFFFFFFu;
    return code;
  }
  // The thread makes its message queue before it signals, so the first post
  // normally succeeds without waiting.
  const uint32_t start = plat::TickCount();
  if (writerReady_ != nullptr) plat::WaitEventObject(writerReady_, kWriterStartLimit);
  uint32_t error = 0;
  while (plat::TickCount() - start < kWriterStartLimit) {
    if (plat::PostThreadMessageTo(threadId_, kWriterMessage, uintptr_t(TWriterCommand::kStart),
                                  reinterpret_cast<intptr_t>(this))) {
      return 0;
    }
    error = plat::LastError();
    if (error == 0) error = plat::kErrorInternalError;
    plat::Sleep(100);
  }
  // The thread waits for messages without timers; Close or the destructor
  // ends it.
  return error;
}

uint32_t TThreadLog::StopWriter() {
  if (thread_ == nullptr) return 0;
  plat::PostThreadMessageTo(threadId_, plat::kWmQuit, 0, 0);
  ReapWriter(kWriterStopLimit);
  return 0;
}

bool TThreadLog::ReapWriter(uint32_t limitMs) {
  if (thread_ == nullptr) return true;
  if (plat::WaitThread(thread_, limitMs) != 0) return false;
  plat::CloseThreadHandle(thread_);
  thread_ = nullptr;
  threadId_ = 0xFFFFFFFFu;
  return true;
}

uint32_t TThreadLog::WriterThread(void* logger) {
  auto* log = static_cast<TThreadLog*>(logger);
  plat::EnsureMessageQueue();
  if (log->writerReady_ != nullptr) plat::SetEventObject(log->writerReady_);
  log->RunWriter();
  return 0;
}

void TThreadLog::RunWriter() {
  TWriterTimers timers;
  bool attached = true;
  plat::ThreadMessage msg{};
  while (plat::GetThreadMessage(&msg) > 0) {
    if (!attached) continue;
    // An exception (memory ran out reading the settings) ends this step,
    // never the thread.
    try {
      if (msg.message == kWriterMessage) {
        attached = OnWriterCommand(TWriterCommand(msg.wParam), &timers);
      } else if (msg.message == plat::kWmTimer && msg.wParam != 0) {
        if (msg.wParam == timers.settings) {
          OnSettingsTick(&timers);
        } else if (msg.wParam == timers.flush) {
          Flush();
        }
      }
    } catch (...) {
    }
  }
  if (!attached) return;
  try {
    FinishWriter(&timers);
  } catch (...) {
  }
}

bool TThreadLog::OnWriterCommand(TWriterCommand command, TWriterTimers* timers) {
  switch (command) {
    case TWriterCommand::kStart: StartTimers(timers); break;
    case TWriterCommand::kDetach:
      Flush();
      KillTimer(&timers->settings);
      KillTimer(&timers->flush);
      return false;
    case TWriterCommand::kFlushIfDue: {
      TPendingFlush pending;
      {
        TLogLock lock(this);
        if (IsFlushDue()) WriteQueue(&pending);
      }
      FinishFlush(&pending);
      break;
    }
    default: break;
  }
  return true;
}

void TThreadLog::StartTimers(TWriterTimers* timers) {
  // The periods are read under the lock, as every other thread changes them
  // under it.
  uint32_t settingsMs = 0, flushMs = 0;
  {
    TLogLock lock(this);
    ReadSettings();
    settingsMs = PeriodMs(rereadPeriod_);
    flushMs = params_.FlushPeriodMs();
  }
  RestartTimer(&timers->settings, settingsMs);
  RestartTimer(&timers->flush, flushMs);
}

void TThreadLog::OnSettingsTick(TWriterTimers* timers) {
  bool periodChanged = false, flushChanged = false;
  uint32_t settingsMs = 0, flushMs = 0;
  {
    TLogLock lock(this);
    const int32_t period = rereadPeriod_;
    const int32_t flushSeconds = params_.FlushSeconds();
    ReadSettings();
    periodChanged = rereadPeriod_ != period;
    flushChanged = params_.FlushSeconds() != flushSeconds;
    settingsMs = PeriodMs(rereadPeriod_);
    flushMs = params_.FlushPeriodMs();
  }
  if (periodChanged) RestartTimer(&timers->settings, settingsMs);
  if (flushChanged && timers->flush != 0) RestartTimer(&timers->flush, flushMs);
}

void TThreadLog::FinishWriter(TWriterTimers* timers) {
  // A batch that fails because another program holds the file is tried
  // again for some seconds; any other failure would fail again.
  for (int attempt = 0; attempt < kFinalFlushTries; ++attempt) {
    const uint32_t result = Flush();
    if (result != plat::kErrorSharingViolation && result != plat::kErrorLockViolation) break;
    plat::Sleep(kFinalFlushPause);
  }
  {
    TLogLock lock(this);
    params_.SetDefaults();
  }
  KillTimer(&timers->settings);
  KillTimer(&timers->flush);
}

// ---------------------------------------------------------------------------
// TLog and the logger table

namespace {

// Loggers of the processes that use this image, by process id. Filled by
// the first Instance call of a process, before a second thread logs.
class TLoggerTable : public TPtrArray<TLog> {
 public:
  TLoggerTable() : TPtrArray<TLog>(1, kUnique, 64) {}
};

// Makes the static objects a batch uses (the date tables, the compiled
// time pictures, the file operations): the loggers write their queues as
// the table goes at the process's exit, and static objects go in the
// reverse order of their making, so these must be made before the table.
bool PrepareBatchStatics() {
  try {
    TLogParams params;
    BStr line;
    std::unique_ptr<TLogRecord>(TLogRecord::Make("", ""))->FormatLine(params, &line);
    TLogFileOps::System();
  } catch (...) {
  }
  return true;
}

TLoggerTable& Loggers() {
  static const bool prepared = PrepareBatchStatics();
  (void)prepared;
  static TLoggerTable table;
  return table;
}

}  // namespace

TLog::TLog(uint32_t processId) : processId_(processId) {}

int TLog::Compare(const TLog* other, int mode) const {
  if (mode != 1) return 0;
  return Sign((processId_ > other->processId_) - (processId_ < other->processId_));
}

TLog& TLog::Instance() {
  const uint32_t pid = plat::CurrentProcessId();
  TLoggerTable& table = Loggers();
  unsigned at = 0;
  if (table.SearchBy(&at, kEqual, [pid](const TLog* log) {
        return Sign((log->ProcessId() > pid) - (log->ProcessId() < pid));
      })) {
    return *table.At(at);
  }
  auto* log = new TLog(pid);
  table.Add(log);
  return *log;
}

}  // namespace yx

// TLogParams: the settings of a logger that its settings file can change,
// with their defaults, and the event list that decides which records are
// written at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "BStr.h"
#include "DatePattern.h"
#include "DateTime.h"

namespace yx {

// Start modes of the log file.
enum : int32_t {
  kStartAppend = 0,     // "APPEND": lines go behind the existing content
  kStartOverwrite = 1,  // "OVRWRT": the file is deleted at open
  kStartNew = 2,        // "NEW": a new file named after the open time
};

inline constexpr const char kDefaultTimePattern[] = "dd.MM.yyyy HH:mm:ss.ii";

// One entry of the event list: a record passes when its category contains
// the category pattern (any case) and, unless the message pattern is empty,
// its message contains the message pattern (exact case).
struct TLogEvent {
  TLogEvent(const char* category, const char* message) : categoryPattern(category), messagePattern(message) {}
  // Ordered by category pattern, as lstrcmpA orders them.
  int Compare(const TLogEvent* other, int mode) const;

  BStr categoryPattern;
  BStr messagePattern;
};

class TLogParams : public TYxBsMem {
 public:
  TLogParams();
  ~TLogParams() override = default;

  // Restores every setting but the log path and empties the event list.
  void SetDefaults();

  const BStr& TimePattern() const { return timePattern_; }
  void SetTimePattern(const char* pattern);
  bool PidFlag() const { return pid_; }
  void SetPidFlag(bool on) { pid_ = on; }
  bool TidFlag() const { return tid_; }
  void SetTidFlag(bool on) { tid_ = on; }
  int32_t StartMode() const { return startMode_; }
  void SetStartMode(int32_t mode) { startMode_ = mode; }
  int32_t FlushSeconds() const { return flushSeconds_; }
  void SetFlushSeconds(int32_t seconds) { flushSeconds_ = seconds; }
  int32_t FlushLines() const { return flushLines_; }
  void SetFlushLines(int32_t lines) { flushLines_ = lines; }
  const BStr& LogPath() const { return logPath_; }
  void SetLogPath(const char* path) { logPath_ = path; }

  // The flush period in milliseconds, in unsigned 32-bit arithmetic.
  uint32_t FlushPeriodMs() const { return uint32_t(flushSeconds_) * 1000u; }

  // Adds an entry; returns false (and deletes it) when the list already
  // holds one with an equal category pattern.
  bool AddEvent(TLogEvent* event);
  const TPtrArray<TLogEvent>& Events() const { return events_; }

  // Whether a record of this category and message passes the event list.
  bool PassesEvents(const BStr& category, const BStr& message) const {
    return PassesEvents(category.CStr(), category.Length(), message.CStr(), message.Length());
  }
  // The same for texts given by their characters and lengths.
  bool PassesEvents(const char* category, unsigned categoryLength, const char* message,
                    unsigned messageLength) const;

  // Appends `value` formatted by the time pattern, with a pattern compiled
  // once per pattern text. Appends nothing when formatting fails.
  void AppendTime(const TDateTime& value, BStr* out);
  // The same text, kept until the next use of the time pattern; null where
  // AppendTime appends nothing.
  const std::string* TimeText(const TDateTime& value);

 private:
  BStr timePattern_;
  bool pid_ = true;
  bool tid_ = true;
  int32_t startMode_ = kStartAppend;
  int32_t flushSeconds_ = 60;
  int32_t flushLines_ = 100;
  TPtrArray<TLogEvent> events_;
  BStr logPath_;
  std::unique_ptr<TDatePattern> compiledTime_;
};

}  // namespace yx

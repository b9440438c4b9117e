// TLogRecord: one queued record, and TLogQueue, the first-in first-out list
// of records a logger holds until a batch writes them.
#pragma once

#include <cstdint>

#include "BStr.h"
#include "DateTime.h"
#include "LogParams.h"

namespace yx {

// The record is the date-time value of its time stamp, taken when it is
// created, with the category, the formatted message and the ids of the
// process and the thread that logged it.
class TLogRecord : public TDateTime {
 public:
  TLogRecord(const char* category, const char* message);
  // A record whose time stamp is given later by Stamp: the logger builds
  // it before it takes its lock and stamps it under the lock.
  enum TUnstamped { kUnstamped };
  TLogRecord(const char* category, const char* message, TUnstamped);
  // Sets the time stamp to now.
  void Stamp() { SetNow(); }
  ~TLogRecord() override = default;

  const BStr& Category() const { return category_; }
  const BStr& Message() const { return message_; }
  uint32_t ProcessId() const { return processId_; }
  uint32_t ThreadId() const { return threadId_; }

  // Appends the record's line to `out`: category, time stamp, "Pid=%#06x",
  // "Tid=%#06x" (the optional parts as the parameters say, each after one
  // space when something precedes it), one space when anything precedes the
  // message, the message and "\r\n".
  void FormatLine(TLogParams& params, BStr* out) const;

 private:
  friend class TLogQueue;

  BStr category_;
  BStr message_;
  uint32_t processId_;
  uint32_t threadId_;
  TLogRecord* next_ = nullptr;  // the next newer record in the queue
};

// The queue owns its records. Records leave it oldest first.
class TLogQueue : public TYxBsMem {
 public:
  TLogQueue() = default;
  TLogQueue(const TLogQueue&) = delete;
  TLogQueue& operator=(const TLogQueue&) = delete;
  ~TLogQueue() override { Clear(); }

  void Push(TLogRecord* record);
  // Removes the oldest record and hands it to the caller; null when empty.
  TLogRecord* Pop();
  // Deletes every record.
  void Clear();

  TLogRecord* Oldest() const { return oldest_; }
  static TLogRecord* Next(const TLogRecord* record) { return record->next_; }
  // Removes and deletes the record after `previous` (the oldest when
  // `previous` is null).
  void DeleteAfter(TLogRecord* previous);
  uint32_t Count() const { return count_; }

 private:
  TLogRecord* oldest_ = nullptr;
  TLogRecord* newest_ = nullptr;
  uint32_t count_ = 0;
};

}  // namespace yx

// TLogRecord: one queued record, and TLogQueue, the first-in first-out list
// of records a logger holds until a batch writes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BStr.h"
#include "DateTime.h"
#include "LogParams.h"

namespace yx {

// The record is the date-time value of its time stamp, with the category,
// the formatted message and the ids of the process and the thread that
// logged it. A record and its two texts are one heap block, so that queuing
// a record costs one allocation and writing it one release; records are
// made with Make and deleted with delete.
class TLogRecord : public TDateTime {
 public:
  // A record stamped with the current time.
  static TLogRecord* Make(const char* category, const char* message);
  // A record whose time stamp is given later by Stamp: the logger builds
  // it before it takes its lock and stamps it under the lock. The message
  // is `messageLength` characters, which need no terminating zero.
  static TLogRecord* MakeUnstamped(const char* category, const char* message, unsigned messageLength);
  // Sets the time stamp to now.
  void Stamp() { SetNow(); }
  ~TLogRecord() override = default;
  TLogRecord(const TLogRecord&) = delete;
  TLogRecord& operator=(const TLogRecord&) = delete;

  // Both texts end with a zero.
  const char* Category() const { return reinterpret_cast<const char*>(this + 1); }
  unsigned CategoryLength() const { return categoryLength_; }
  const char* Message() const { return Category() + categoryLength_ + 1; }
  unsigned MessageLength() const { return messageLength_; }
  uint32_t ProcessId() const { return processId_; }
  uint32_t ThreadId() const { return threadId_; }

  // Appends the record's line to `out`: category, time stamp, "Pid=%#06x",
  // "Tid=%#06x" (the optional parts as the parameters say, each after one
  // space when something precedes it), one space when anything precedes the
  // message, the message and "\r\n".
  void FormatLine(TLogParams& params, BStr* out) const;

  static void operator delete(void* block) noexcept { TYxBsMem::operator delete(block); }

 private:
  friend class TLogQueue;

  // The room for the texts behind a record, in bytes.
  struct TTextRoom {
    std::size_t bytes;
  };
  // The block of a record with its texts' room behind it.
  static void* operator new(std::size_t bytes, TTextRoom room);
  // Releases the block if the constructor fails (it cannot).
  static void operator delete(void* block, TTextRoom room) noexcept;

  TLogRecord(unsigned categoryLength, unsigned messageLength);

  TLogRecord* next_ = nullptr;  // the next newer record in the queue
  uint32_t processId_;
  uint32_t threadId_;
  unsigned categoryLength_;
  unsigned messageLength_;
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

// TLogRecord, its line layout, and TLogQueue.

#include "LogRecord.h"

#include <cstdio>

#include "plat/Process.h"

namespace yx {

TLogRecord::TLogRecord(const char* category, const char* message)
    : category_(category), message_(message),
      processId_(plat::CurrentProcessId()), threadId_(plat::CurrentThreadId()) {
  SetNow();
}

void TLogRecord::FormatLine(TLogParams& params, BStr* out) const {
  const unsigned start = out->Length();
  auto separate = [&] {
    if (out->Length() != start) out->Append(" ");
  };
  out->Append(category_);
  if (params.TimePattern().Length() != 0) {
    separate();
    params.AppendTime(*this, out);
  }
  char id[24];
  if (params.PidFlag()) {
    separate();
    std::snprintf(id, sizeof id, "Pid=%#06x", processId_);
    out->Append(id);
  }
  if (params.TidFlag()) {
    separate();
    std::snprintf(id, sizeof id, "Tid=%#06x", threadId_);
    out->Append(id);
  }
  separate();
  out->Append(message_);
  out->Append("\r\n");
}

void TLogQueue::Push(TLogRecord* record) {
  record->next_ = nullptr;
  if (newest_ != nullptr) {
    newest_->next_ = record;
  } else {
    oldest_ = record;
  }
  newest_ = record;
  ++count_;
}

TLogRecord* TLogQueue::Pop() {
  TLogRecord* record = oldest_;
  if (record == nullptr) return nullptr;
  oldest_ = record->next_;
  if (oldest_ == nullptr) newest_ = nullptr;
  record->next_ = nullptr;
  --count_;
  return record;
}

void TLogQueue::DeleteAfter(TLogRecord* previous) {
  TLogRecord* record = previous != nullptr ? previous->next_ : oldest_;
  if (record == nullptr) return;
  if (previous != nullptr) {
    previous->next_ = record->next_;
  } else {
    oldest_ = record->next_;
  }
  if (newest_ == record) newest_ = previous;
  --count_;
  delete record;
}

void TLogQueue::Clear() {
  while (TLogRecord* record = Pop()) delete record;
}

}  // namespace yx

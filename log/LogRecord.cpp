// TLogRecord, its line layout, and TLogQueue.

#include "LogRecord.h"

#include <cstdio>

#include "plat/Process.h"

namespace yx {
namespace {

// Appends `name` and `value` as printf's "%#06x" writes it: "0x" and at
// least four lower-case hexadecimal digits, or "000000" for zero.
void AppendId(const char* name, uint32_t value, BStr* out) {
  char text[24];
  int n = 0;
  while (name[n] != '\0') {
    text[n] = name[n];
    ++n;
  }
  if (value == 0) {
    for (int i = 0; i < 6; ++i) text[n++] = '0';
  } else {
    text[n++] = '0';
    text[n++] = 'x';
    int digits = 4;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = digits - 1; i >= 0; --i) text[n++] = "0123456789abcdef"[(value >> (4 * i)) & 15];
  }
  text[n] = '\0';
  out->Append(text);
}

}  // namespace

TLogRecord::TLogRecord(const char* category, const char* message)
    : TLogRecord(category, message, kUnstamped) {
  SetNow();
}

TLogRecord::TLogRecord(const char* category, const char* message, TUnstamped)
    : category_(category),
      message_(message),
      processId_(plat::CurrentProcessId()),
      threadId_(plat::CurrentThreadId()) {}

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
  if (params.PidFlag()) {
    separate();
    AppendId("Pid=", processId_, out);
  }
  if (params.TidFlag()) {
    separate();
    AppendId("Tid=", threadId_, out);
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

// TLogRecord, its line layout, and TLogQueue.

#include "LogRecord.h"

#include <cstring>

#include "plat/Process.h"

namespace yx {
namespace {

// Writes `name` and `value` as printf's "%#06x" writes it ("0x" and at
// least four lower-case hexadecimal digits, or "000000" for zero) to `text`,
// which has room for 16 characters; returns their count.
unsigned FormatId(const char* name, uint32_t value, char* text) {
  unsigned n = 0;
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
  return n;
}

// Puts a line together on the stack and appends it to the string in as
// few pieces as fit: usually one.
class TLineWriter {
 public:
  explicit TLineWriter(BStr* out) : out_(out) {}
  ~TLineWriter() = default;
  TLineWriter(const TLineWriter&) = delete;
  TLineWriter& operator=(const TLineWriter&) = delete;

  void Put(const char* text, unsigned size) {
    if (size > sizeof buffer_ - used_) {
      Flush();
      if (size > sizeof buffer_) {
        out_->Append(text, size);
        written_ += size;
        return;
      }
    }
    std::memcpy(buffer_ + used_, text, size);
    used_ += size;
    written_ += size;
  }
  // Room for `size` characters in the buffer, which the caller fills and
  // then commits with Commit.
  char* Room(unsigned size) {
    if (size > sizeof buffer_ - used_) Flush();
    return buffer_ + used_;
  }
  void Commit(unsigned size) {
    used_ += size;
    written_ += size;
  }
  // One space when anything of the line precedes it.
  void Separate() {
    if (written_ != 0) Put(" ", 1);
  }
  void Flush() {
    if (used_ != 0) out_->Append(buffer_, used_);
    used_ = 0;
  }

 private:
  BStr* out_;
  unsigned used_ = 0;
  unsigned written_ = 0;
  char buffer_[256];
};

}  // namespace

void* TLogRecord::operator new(std::size_t bytes, TTextRoom room) {
  // Both texts are in memory already, so the sum cannot wrap.
  return TYxBsMem::operator new(bytes + room.bytes);
}

// Called only when the constructor throws. The block goes back to the heap
// directly: handed to TYxBsMem's operator delete, GCC takes it for a block
// of another allocation function.
void TLogRecord::operator delete(void* block, TTextRoom) noexcept { HeapMemFree(block); }

TLogRecord::TLogRecord(unsigned categoryLength, unsigned messageLength)
    : processId_(plat::CurrentProcessId()),
      threadId_(plat::CurrentThreadId()),
      categoryLength_(categoryLength),
      messageLength_(messageLength) {}

TLogRecord* TLogRecord::MakeUnstamped(const char* category, const char* message, unsigned messageLength) {
  if (category == nullptr) category = "";
  if (message == nullptr) {
    message = "";
    messageLength = 0;
  }
  const unsigned categoryLength = unsigned(std::strlen(category));
  const std::size_t textBytes = std::size_t(categoryLength) + messageLength + 2;
  TLogRecord* record = new (TTextRoom{textBytes}) TLogRecord(categoryLength, messageLength);
  char* text = reinterpret_cast<char*>(record + 1);
  std::memcpy(text, category, categoryLength + 1);
  std::memcpy(text + categoryLength + 1, message, messageLength);
  text[categoryLength + 1 + messageLength] = '\0';
  return record;
}

TLogRecord* TLogRecord::Make(const char* category, const char* message) {
  TLogRecord* record =
      MakeUnstamped(category, message, message != nullptr ? unsigned(std::strlen(message)) : 0);
  record->SetNow();
  return record;
}

void TLogRecord::FormatLine(TLogParams& params, BStr* out) const {
  TLineWriter line(out);
  line.Put(Category(), categoryLength_);
  if (params.TimePattern().Length() != 0) {
    line.Separate();
    if (const std::string* time = params.TimeText(*this)) line.Put(time->data(), unsigned(time->size()));
  }
  if (params.PidFlag()) {
    line.Separate();
    line.Commit(FormatId("Pid=", processId_, line.Room(16)));
  }
  if (params.TidFlag()) {
    line.Separate();
    line.Commit(FormatId("Tid=", threadId_, line.Room(16)));
  }
  line.Separate();
  line.Put(Message(), messageLength_);
  line.Put("\r\n", 2);
  line.Flush();
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

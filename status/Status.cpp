// TStatus, the message texts and the application message table.

#include "Status.h"

#include "plat/Locale.h"
#include "plat/Messages.h"

namespace yx {
namespace {

// One registered text. The table owns the entries; an entry owns its text.
struct TMessageEntry {
  TMessageEntry(uint32_t c, const char* t) : code(c), text(HeapStrDup(t)) {}
  TMessageEntry(const TMessageEntry&) = delete;
  TMessageEntry& operator=(const TMessageEntry&) = delete;
  ~TMessageEntry() { HeapMemFree(text); }
  int Compare(const TMessageEntry* other, int) const {
    return Sign((code > other->code) - (code < other->code));
  }

  uint32_t code;
  char* text;
};

using TMessageTable = TPtrArray<TMessageEntry>;

// Created by the first registration and kept until the process ends. All
// registrations happen during start-up, before a second thread exists.
TMessageTable* gMessages = nullptr;

constexpr int kMessageTableMode = 129;
constexpr unsigned kMessageTableGrowth = 64;
constexpr uint32_t kMessageBufferSize = 512;

}  // namespace

TStatus::TStatus() { Set(0, "", kSeverityError); }

TStatus::TStatus(uint32_t code, const char* context, uint32_t severity) { Set(code, context, severity); }

void TStatus::Set(uint32_t code, const char* context, uint32_t severity) {
  word_ = code;
  message_ = MessageText(code);
  context_ = context;
  SetSeverity(word_ != 0 ? severity : 0);
}

void TStatus::SetCode(uint32_t code) { Set(code, "", kSeverityError); }

void TStatus::SetSeverity(uint32_t severity) {
  word_ &= 0x3FFFFFFFu;
  if (severity >= 1 && severity <= 3) word_ |= severity << 30;
}

BStr TStatus::Text(unsigned flags) const {
  BStr text;
  if ((flags & kStatusContext) != 0) text += context_;
  if ((flags & kStatusMessage) != 0) {
    if (text.Length() != 0) text += " ";
    text += message_;
  }
  if ((flags & kStatusCode) != 0) {
    if (text.Length() != 0) text += " ";
    BStr code;
    code.Format("[%#010x (%u)]", word_, Code());
    text += code;
  }
  return text;
}

BStr MessageText(uint32_t code) {
  if ((code & kApplicationCodeBit) != 0) {
    if (gMessages == nullptr) return BStr();
    for (unsigned i = 0; i < gMessages->Count(); ++i) {
      const TMessageEntry* entry = gMessages->At(i);
      if (entry->code == code) return BStr(entry->text);
    }
    return BStr();
  }
  char buffer[kMessageBufferSize] = {};
  if (plat::SystemMessage(code, plat::UserLanguageId(), buffer, kMessageBufferSize - 1) == 0) return BStr();
  BStr text(buffer);
  unsigned n = text.Length();
  while (n != 0 && (text.CStr()[n - 1] == '\r' || text.CStr()[n - 1] == '\n')) --n;
  text.CutTail(text.Length() - n);
  return text;
}

uint32_t RegisterMessage(const char* text) {
  if (text == nullptr) text = "";
  if (gMessages != nullptr) {
    for (unsigned i = 0; i < gMessages->Count(); ++i) {
      const TMessageEntry* entry = gMessages->At(i);
      if (std::strcmp(entry->text, text) == 0) return entry->code;
    }
  } else {
    gMessages = new TMessageTable(kMessageTableMode, 0, kMessageTableGrowth);
  }
  const unsigned count = gMessages->Count();
  const uint32_t code = count == 0 ? kApplicationCodeBit : gMessages->At(count - 1)->code + 1;
  gMessages->Add(new TMessageEntry(code, text));
  return code;
}

}  // namespace yx

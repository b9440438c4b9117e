// TStatus: the carrier of an outcome. A 32-bit code word (bits 0 to 29 the
// code, bits 30 and 31 the severity: 0 success, 1 informational, 2 warning,
// 3 error), a caller's context text, and the code's message text, fetched
// once when the code is set.
//
// Windows error codes take their texts from the system's message catalogue
// in the user's language; codes with bit 0x20000000 set come from the
// application message table, filled by RegisterMessage at start-up.
#pragma once

#include <cstdint>

#include "BStr.h"

namespace yx {

// Flags of TStatus::Text.
enum : unsigned {
  kStatusContext = 1,
  kStatusMessage = 2,
  kStatusCode = 4,
};

// Severity values (bits 30 and 31 of the code word).
enum : uint32_t {
  kSeveritySuccess = 0,
  kSeverityInformational = 1,
  kSeverityWarning = 2,
  kSeverityError = 3,
};

// Bit that marks an application-defined message code.
inline constexpr uint32_t kApplicationCodeBit = 0x20000000u;

class TStatus : public TYxBsMem {
 public:
  // Code 0, severity 0, empty context, the system's text for code 0.
  TStatus();
  TStatus(uint32_t code, const char* context, uint32_t severity);
  TStatus(const TStatus& other) = default;
  TStatus& operator=(const TStatus& other) = default;
  ~TStatus() override = default;

  // Stores the code, fetches its message text, copies the context and sets
  // the severity (0 for code 0, otherwise the given one).
  void Set(uint32_t code, const char* context, uint32_t severity);
  // Set(code, "", error): how failures (and, with 0, successes) are recorded.
  void SetCode(uint32_t code);
  // The code without the severity bits.
  uint32_t Code() const { return word_ & 0x3FFFFFFFu; }
  uint32_t Severity() const { return word_ >> 30; }
  // 1, 2 or 3 set the severity bits; any other value clears them.
  void SetSeverity(uint32_t severity);
  bool IsError() const { return Severity() == kSeverityError; }
  bool Succeeded() const { return !IsError(); }
  uint32_t Word() const { return word_; }
  const BStr& Context() const { return context_; }
  const BStr& Message() const { return message_; }

  // Context (flag 1), message (flag 2) and "[%#010x (%u)]" of the code word
  // and code (flag 4), separated by one blank whenever the text so far is
  // not empty.
  BStr Text(unsigned flags) const;

 private:
  uint32_t word_ = 0;
  BStr context_;
  BStr message_;
};

// The message text of a code: from the application table for application
// codes, else from the system catalogue in the user's language without its
// trailing line breaks; empty when there is none.
BStr MessageText(uint32_t code);

// The code of `text` in the application message table: the code it was
// registered with before, or the next free one from 0x20000000.
uint32_t RegisterMessage(const char* text);

}  // namespace yx

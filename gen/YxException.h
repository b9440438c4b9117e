// The exception classes and their report texts.
//
// Two kinds of failure, never mixed: misuse of an operation (an index out of
// range, a null item, a zero element count, a failed table growth) raises
// one of the EException classes naming its source and a fixed line; an
// operating-system failure is never raised but returned as a Windows error
// code.
#pragma once

#include "YxHeap.h"

namespace yx {

// Source name that the reports of the containers' raise sites carry, and
// the line of an object allocation larger than the heap's 32-bit sizes.
inline constexpr const char kGenSource[] = "yxgen";
inline constexpr unsigned kLineObjectNew = 120;

// The report is "[text] 'file' line N " (with a trailing space).
class EException : public TYxBsMem {
 public:
  EException(const char* file, unsigned line, const char* text);
  EException(const EException& other) = default;
  EException& operator=(const EException&) = delete;
  ~EException() override = default;

  virtual const char* What() const;

 private:
  TCharBuffer message_;
};

// Report text "EInvalidArgument(text)".
class EInvalidArgument : public EException {
 public:
  EInvalidArgument(const char* file, unsigned line, const char* text);
};

// Report text "EOutOfRange(idx=index,cnt=count)", numbers unsigned decimal.
class EOutOfRange : public EException {
 public:
  EOutOfRange(const char* file, unsigned line, unsigned index, unsigned count);
};

// Report text "EBadAlloc(sz=size)".
class EBadAlloc : public EException {
 public:
  EBadAlloc(const char* file, unsigned line, unsigned size);
};

}  // namespace yx

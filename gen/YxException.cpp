// The exceptions' report texts, formatted straight into heap blocks.

#include "YxException.h"

#include <cstdarg>
#include <cstdio>

namespace yx {
namespace {

// printf-style output in a new block that holds it with its zero, sized in
// whole 32-byte steps.
TCharBuffer FormatReport(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list probe;
  va_copy(probe, args);
  const int n = std::vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  const unsigned length = n < 0 ? 0 : unsigned(n);
  TCharBuffer report(length - length % 32 + 32);
  report.Chars()[0] = '\0';
  if (n >= 0) std::vsnprintf(report.Chars(), report.Size(), format, args);
  va_end(args);
  return report;
}

}  // namespace

EException::EException(const char* file, unsigned line, const char* text)
    : message_(FormatReport("[%s] '%s' line %u ", text, file, line)) {}

const char* EException::What() const { return message_.Chars(); }

EInvalidArgument::EInvalidArgument(const char* file, unsigned line, const char* text)
    : EException(file, line, FormatReport("EInvalidArgument(%s)", text).Chars()) {}

EOutOfRange::EOutOfRange(const char* file, unsigned line, unsigned index, unsigned count)
    : EException(file, line, FormatReport("EOutOfRange(idx=%u,cnt=%u)", index, count).Chars()) {}

EBadAlloc::EBadAlloc(const char* file, unsigned line, unsigned size)
    : EException(file, line, FormatReport("EBadAlloc(sz=%u)", size).Chars()) {}

}  // namespace yx

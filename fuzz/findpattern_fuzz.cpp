// Fuzz target of BStrBase::FindPattern, the pattern search of the event
// filter.
//
// Input: one byte of options (bit 0 ignores case, the other bits choose a
// start position), the pattern up to the first zero byte, then the subject up
// to the next zero byte or the end; without a zero byte the pattern is
// searched for in itself.
//
// Properties, from several starts and with both case flags: the first match
// at or after start, unchanged by a leading ".*", and the reference's result.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "BStr.h"
#include "FuzzCheck.h"
#include "support/PatternReference.h"

namespace yx {
namespace {

void Check(const std::string& pattern, const std::string& subject, unsigned start, int flags) {
  const BStr text(subject.c_str());
  auto find = [&](const std::string& p, unsigned from) { return text.FindPattern(p.c_str(), from, flags); };
  auto report = [&](const char* what, unsigned found, long expected) {
    fuzz::Fail(
        "FindPattern: %s\n  pattern \"%s\"\n  subject \"%s\"\n  start %u, flags %d, result %d, expected %ld",
        what, fuzz::Escaped(pattern).c_str(), fuzz::Escaped(subject).c_str(), start, flags, int(found),
        expected);
  };
  const unsigned length = text.Length();
  const unsigned found = find(pattern, start);
  if (found != kNotFound) {
    if (found < start || found >= length) report("result out of range", found, -2);
    if (find(pattern, found) != found) report("not found again from its own position", found, -2);
    const unsigned between = start + (found - start) / 2;
    if (find(pattern, between) != found) report("other result from a start in between", found, -2);
  } else if (start < length && find(pattern, start + 1) != kNotFound) {
    report("found from a later start only", found, -2);
  }
  if (find(".*" + pattern, start) != found) report("a leading .* changed the result", found, -2);
  // The reference costs a power of the subject length per ".*".
  std::size_t stars = 0;
  for (std::size_t at = pattern.find(".*"); at != std::string::npos; at = pattern.find(".*", at + 1)) ++stars;
  if (subject.size() <= 48 && pattern.size() <= 48 && stars <= 2) {
    const unsigned expected =
        test::TPatternReference(subject, (flags & kIgnoreCase) != 0).Find(pattern, start);
    if (found != expected) report("differs from the reference search", found, long(int(expected)));
  }
}

}  // namespace
}  // namespace yx

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  const char* end = text + size;
  const char* zero = static_cast<const char*>(std::memchr(text + 1, 0, size - 1));
  const std::string pattern(text + 1, zero != nullptr ? zero : end);
  std::string subject = pattern;
  if (zero != nullptr) {
    const char* next = static_cast<const char*>(std::memchr(zero + 1, 0, size_t(end - zero - 1)));
    subject.assign(zero + 1, next != nullptr ? next : end);
  }
  // A search costs up to about pattern times subject length steps; long
  // inputs get the case flag as given only, so that one input stays far
  // inside the fuzzer's timeout.
  const int flags = data[0] & 1;
  const bool small = pattern.size() * subject.size() <= 64 * 1024;
  const unsigned length = unsigned(subject.size());
  for (const unsigned start : {0u, (data[0] >> 1) % (length + 2), length, length + 7, yx::kNotFound - 1}) {
    yx::Check(pattern, subject, start, flags);
    if (small) yx::Check(pattern, subject, start, flags ^ yx::kIgnoreCase);
  }
  return 0;
}

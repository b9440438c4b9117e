// The process-heap functions, heap blocks, exceptions and the text and
// number functions of the general header.

#include "yxgen.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "BStr.h"
#include "plat/Heap.h"
#include "plat/Text.h"

namespace yx {

// ---------------------------------------------------------------------------
// Process heap

namespace {

// Exhausted memory raises EBadAlloc. Its report text needs memory as well;
// when even that is not to be had, std::bad_alloc takes its place.
thread_local bool tReportingBadAlloc = false;

[[noreturn]] void RaiseBadAlloc(unsigned bytes) {
  if (tReportingBadAlloc) throw std::bad_alloc();
  tReportingBadAlloc = true;
  struct Reset {
    ~Reset() { tReportingBadAlloc = false; }
  } reset;
  throw EBadAlloc(kGenSource, kLineHeapMem, bytes);
}

}  // namespace

void* HeapMemAlloc(unsigned bytes) {
  void* block = plat::HeapAllocate(bytes);
  if (block == nullptr) RaiseBadAlloc(bytes);
  return block;
}
unsigned HeapMemFree(const void* block) { return plat::HeapRelease(block); }
void* HeapMemRealloc(const void* block, unsigned bytes) {
  void* moved = plat::HeapReallocate(const_cast<void*>(block), bytes);
  if (moved == nullptr) RaiseBadAlloc(bytes);
  return moved;
}
unsigned HeapMemSize(const void* block) { return plat::HeapBlockSize(block); }

void* TYxBsMem::operator new(std::size_t bytes) { return HeapMemAlloc(unsigned(bytes)); }
void* TYxBsMem::operator new[](std::size_t bytes) { return HeapMemAlloc(unsigned(bytes)); }
void TYxBsMem::operator delete(void* block) noexcept { HeapMemFree(block); }
void TYxBsMem::operator delete[](void* block) noexcept { HeapMemFree(block); }

// ---------------------------------------------------------------------------
// Heap blocks

THeapBlock::~THeapBlock() {
  if (ptr_ != nullptr) Free();
}

void* THeapBlock::Alloc(unsigned bytes) {
  if (ptr_ != nullptr) Free();
  ptr_ = HeapMemAlloc(bytes);
  if (ptr_ != nullptr) size_ = HeapMemSize(ptr_);
  return ptr_;
}

void* THeapBlock::Realloc(unsigned bytes) {
  void* block = HeapMemRealloc(ptr_, bytes);
  if (block != nullptr) {
    ptr_ = block;
    size_ = HeapMemSize(ptr_);
  }
  return block;
}

unsigned THeapBlock::Free() {
  HeapMemFree(ptr_);
  ptr_ = nullptr;
  size_ = 0;
  return 0;
}

void THeapBlock::Swap(THeapBlock& other) noexcept {
  std::swap(ptr_, other.ptr_);
  std::swap(size_, other.size_);
}

TCharBuffer::TCharBuffer(const TCharBuffer& other) : THeapBlock() {
  if (other.ptr_ == nullptr) return;
  Alloc(other.size_);
  std::memcpy(ptr_, other.ptr_, other.size_);
}

// ---------------------------------------------------------------------------
// Exceptions

EException::EException(const char* file, unsigned line, const char* text) {
  // The report grows in 32-byte steps until it fits with its zero.
  unsigned size = 32;
  for (;;) {
    message_.Alloc(size);
    int n = std::snprintf(message_.Chars(), size, "[%s] '%s' line %u ", text, file, line);
    if (n >= 0 && unsigned(n) < size) break;
    size += 32;
  }
}

const char* EException::What() const { return message_.Chars(); }

namespace {

BStr InvalidArgumentText(const char* text) {
  BStr s("EInvalidArgument(");
  s += text;
  s += ")";
  return s;
}

BStr OutOfRangeText(unsigned index, unsigned count) {
  BStr s("EOutOfRange(idx=");
  s += BStr(index, 0);
  s += ",cnt=";
  s += BStr(count, 0);
  s += ")";
  return s;
}

BStr BadAllocText(unsigned size) {
  BStr s("EBadAlloc(sz=");
  s += BStr(size, 0);
  s += ")";
  return s;
}

}  // namespace

EInvalidArgument::EInvalidArgument(const char* file, unsigned line, const char* text)
    : EException(file, line, InvalidArgumentText(text).CStr()) {}

EOutOfRange::EOutOfRange(const char* file, unsigned line, unsigned index, unsigned count)
    : EException(file, line, OutOfRangeText(index, count).CStr()) {}

EBadAlloc::EBadAlloc(const char* file, unsigned line, unsigned size)
    : EException(file, line, BadAllocText(size).CStr()) {}

// ---------------------------------------------------------------------------
// Text and number functions

void Capitalize(char* text, int mode, unsigned count) {
  if (mode != 2 && mode != 3) return;
  if (count == 0) count = unsigned(plat::TextLength(text));
  bool insideWord = false;
  for (; *text != '\0' && count != 0; ++text, --count) {
    if (plat::IsCharAlpha(*text)) {
      if (insideWord) {
        *text = plat::CharLower(*text);
      } else {
        *text = plat::CharUpper(*text);
        insideWord = true;
      }
    } else if (mode == 2) {
      insideWord = false;
    }
  }
}

int CompareChar(char a, char b, int flags) {
  const char x[2] = {a, '\0'};
  const char y[2] = {b, '\0'};
  return (flags & 1) != 0 ? plat::TextCompareNoCase(x, y) : plat::TextCompare(x, y);
}

namespace {

// strnicmp of the C runtime in its default locale: ASCII letters fold.
int AsciiCompareNoCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]);
    int y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return Sign(x - y);
    if (x == 0) return 0;
  }
  return 0;
}

}  // namespace

int CompareText(const char* a, const char* b, int flags) {
  if (a == nullptr) return (b == nullptr || *b == '\0') ? 0 : -1;
  if (b == nullptr) return *a == '\0' ? 0 : 1;
  if ((flags & 2) != 0) {
    const std::size_t n = std::strlen(b);
    return (flags & 1) != 0 ? AsciiCompareNoCase(a, b, n) : Sign(std::strncmp(a, b, n));
  }
  return (flags & 1) != 0 ? plat::TextCompareNoCase(a, b) : plat::TextCompare(a, b);
}

int Sign(int value) { return (value > 0) - (value < 0); }

void CopySubstring(char* dest, const char* src, unsigned start, unsigned count) {
  if (count == 0) count = unsigned(std::strlen(src));
  const char* from = src + start;
  unsigned i = 0;
  for (; i < count && from[i] != '\0'; ++i) dest[i] = from[i];
  dest[i] = '\0';
}

int FindSubstring(const char* text, const char* what, unsigned start) {
  if (text[start] == '\0' || *what == '\0') return -1;
  const char* hit = std::strstr(text + start, what);
  return hit == nullptr ? -1 : int(hit - text);
}

char* HeapStrDup(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(HeapMemAlloc(unsigned(n)));
  std::memcpy(copy, text, n);
  return copy;
}

double RoundHalfAway(double value) {
  double whole = 0.0;
  const double fraction = std::modf(value, &whole);
  if (fraction >= 0.5) return whole + 1.0;
  if (fraction <= -0.5) return whole - 1.0;
  return whole;
}

}  // namespace yx

// Codesets with iconv.

#include "Codeset.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstring>

#include "CodePages.h"

namespace plat::detail {
namespace {

// The length of the well-formed UTF-8 character at p (at most `left`
// bytes), or 1 when no well-formed character starts there.
size_t Utf8Length(const char* p, size_t left) {
  const auto lead = static_cast<unsigned char>(p[0]);
  size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (length > left) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// An iconv descriptor, closed at the end of its scope.
class TIconv {
 public:
  TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  ~TIconv() {
    if (Usable()) iconv_close(cd_);
  }
  bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string LocaleCodeset() {
  const char* dot = std::strchr(LocaleVariable({"LC_ALL", "LC_CTYPE", "LANG"}), '.');
  if (dot == nullptr) return std::string();
  return std::string(dot + 1, std::strcspn(dot + 1, "@"));
}

bool IsUtf8Codeset(const std::string& codeset) {
  return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "UTF8") == 0;
}

bool ConvertCodeset(const char* from, const char* to, const char* bytes, size_t n, std::string* out) {
  TIconv cd(to, from);
  if (!cd.Usable()) return false;
  // A UTF-8 character that the target lacks is skipped whole; anything else
  // that cannot be converted, one byte at a time.
  const bool fromUtf8 = IsUtf8Codeset(from);
  std::string result;
  result.reserve(n * 2 + 16);
  char* in = const_cast<char*>(bytes);
  size_t inLeft = n;
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t r = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
    result.append(buffer, size_t(outPtr - buffer));
    if (r != size_t(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL (a sequence cut off at the end): one '?' in its place.
    result.push_back('?');
    const size_t skip = fromUtf8 && errno == EILSEQ ? Utf8Length(in, inLeft) : 1;
    in += skip;
    inLeft -= skip;
    iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
  }
  // The shift state back to the initial one, for stateful codesets.
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd.Get(), nullptr, nullptr, &outPtr, &outLeft);
  result.append(buffer, size_t(outPtr - buffer));
  out->swap(result);
  return true;
}

}  // namespace plat::detail

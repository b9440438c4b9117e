// The upper halves of the OEM code pages 437 and 866 as Unicode (internal).
#pragma once

#include <cstdint>

namespace plat::detail {

// Index: byte - 0x80. Every entry lies in the Basic Multilingual Plane.
extern const uint16_t kOem437ToUnicode[128];
extern const uint16_t kOem866ToUnicode[128];

}  // namespace plat::detail

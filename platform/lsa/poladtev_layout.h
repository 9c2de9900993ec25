// The byte layout of the audit policy value (the default value of SECURITY\Policy\PolAdtEv):
//   0x00        the auditing mode, one byte (0 off, anything else on)
//   0x01..0x03  padding; NT leaves whatever was there (real values carry garbage such as
//               "21 14 00"), so it is read past and written back untouched
//   0x04 + 4*i  the options of category i (bit 1 success, bit 2 failure)
//   0x04 + 4*N  N, the number of categories
// Two layouts are known: NT 4.0 with 7 categories (36 bytes) and 2000/XP/2003 with 9 (44 bytes).
// Later Windows versions keep a different structure under the same name. Read and written only
// through the accessors below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::poladtev {

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr size_t kMode = 0x00;
constexpr size_t kPadding = 0x01;
constexpr size_t kPaddingSize = 3;
constexpr size_t kOptions = 0x04;
constexpr size_t kOptionSize = 4;

constexpr uint32_t kNt4Categories = 7;
constexpr uint32_t kWin2000Categories = 9;

// Where the options of `category` are, and where the count follows `count` categories.
constexpr size_t OptionOffset(uint32_t category) { return kOptions + kOptionSize * category; }
constexpr size_t CountOffset(uint32_t count) { return OptionOffset(count); }
// The whole value's size for `count` categories: 36 for NT 4.0, 44 for 2000/XP.
constexpr size_t ValueSize(uint32_t count) { return CountOffset(count) + 4; }

static_assert(ValueSize(kNt4Categories) == 36 && ValueSize(kWin2000Categories) == 44);

}  // namespace platform::poladtev

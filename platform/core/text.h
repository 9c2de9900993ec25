// Text conversions between the UTF-16 of Windows' structures and the UTF-8 of the A calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The UTF-8 length of one code point, and the code point written at `out` (room for 4 bytes);
// answers the byte after it.
inline size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }
uint8_t* PutUtf8(uint8_t* out, uint32_t codePoint);
void AppendUtf8(std::string& out, uint32_t codePoint);

// Walks `units` UTF-16 code units, `unitAt(i)` giving the i-th, and hands each code point to
// `sink`: a pair of surrogates is one code point, a lone surrogate is U+FFFD. Every UTF-16 text
// the platform reads (registry strings, event records, server names) is decoded here.
template <typename UnitAt, typename Sink>
void DecodeUtf16(size_t units, UnitAt&& unitAt, Sink&& sink) {
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = unitAt(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      const uint32_t d = unitAt(i + 1);
      if (d >= 0xDC00 && d <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    sink(c);
  }
}
// The same over `units` code units stored little-endian at `p`.
template <typename Sink>
void DecodeUtf16Le(const uint8_t* p, size_t units, Sink&& sink) {
  DecodeUtf16(units, [p](size_t i) { return static_cast<uint32_t>(p[2 * i] | (p[2 * i + 1] << 8)); }, sink);
}

// UTF-8 <-> UTF-16LE. Invalid sequences and lone surrogates become U+FFFD; nothing is dropped
// or split, and embedded NULs pass through (multi-strings rely on that). An odd last byte of
// UTF-16 is ignored.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf8ToUtf16Le(std::string_view utf8);
std::string Utf16LeToUtf8(std::string_view utf16le);
inline std::string Utf16LeToUtf8(const uint8_t* bytes, size_t length) {
  return Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length));
}

}  // namespace platform

// Text conversions between the UTF-16 of Windows' structures and the UTF-8 of the A calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

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

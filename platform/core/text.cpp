#include "platform/core/text.h"

namespace platform {

uint8_t* PutUtf8(uint8_t* o, uint32_t cp) {
  if (cp < 0x80) {
    *o++ = static_cast<uint8_t>(cp);
  } else if (cp < 0x800) {
    *o++ = static_cast<uint8_t>(0xC0 | (cp >> 6));
    *o++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = static_cast<uint8_t>(0xE0 | (cp >> 12));
    *o++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  } else {
    *o++ = static_cast<uint8_t>(0xF0 | (cp >> 18));
    *o++ = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    *o++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  }
  return o;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  uint8_t bytes[4];
  out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(PutUtf8(bytes, cp) - bytes));
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0, n = s.size();
  while (i < n) {
    uint32_t c = p[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = len != 0 && i + len <= n;
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok) {
      const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
    }
    if (!ok) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view in) {
  std::string out;
  for (char16_t u : Utf8ToUtf16(in)) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  DecodeUtf16Le(reinterpret_cast<const uint8_t*>(in.data()), in.size() / 2, [&](uint32_t cp) { AppendUtf8(out, cp); });
  return out;
}

}  // namespace platform

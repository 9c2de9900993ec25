#include "platform/text.h"

namespace platform {
namespace {

void AppendUtf16(std::string& out, uint32_t cp) {
  auto unit = [&out](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    unit(0xD800 + (cp >> 10));
    unit(0xDC00 + (cp & 0x3FF));
  } else {
    unit(cp);
  }
}


}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}


std::string Utf8ToUtf16Le(std::string_view in) {
  std::string out;
  out.reserve(in.size() * 2);
  size_t i = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  while (i < in.size()) {
    unsigned char c = s[i];
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else {
      size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
      if (need && i + need <= in.size()) {
        uint32_t v = c & (0x7F >> need);
        bool ok = true;
        for (size_t j = 1; j < need; ++j) {
          if ((s[i + j] & 0xC0) != 0x80) {
            ok = false;
            break;
          }
          v = v << 6 | (s[i + j] & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && v >= kMin[need] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
          cp = v;
          len = need;
        }
      }
    }
    AppendUtf16(out, cp);
    i += len;
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t units = in.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = s[2 * i] | static_cast<uint32_t>(s[2 * i + 1]) << 8;
    uint32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      uint32_t lo = s[2 * i + 2] | static_cast<uint32_t>(s[2 * i + 3]) << 8;
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      } else {
        cp = 0xFFFD;
      }
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace platform

#include "platform/core/sid.h"

#include <cinttypes>
#include <cstdio>

#include "platform/core/bytes.h"

namespace platform {

std::size_t SidLength(const void* sid, std::size_t available) {
  const auto* p = static_cast<const uint8_t*>(sid);
  if (!p || available < 8 || p[0] != 1 || p[1] > 15) return 0;
  std::size_t length = 8 + 4u * p[1];
  return length <= available ? length : 0;
}

std::string SidText(const void* sid, std::size_t available) {
  if (SidLength(sid, available) == 0) return {};
  const auto* p = static_cast<const uint8_t*>(sid);
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | p[2 + i];
  char buf[32];
  if (authority >> 32)
    std::snprintf(buf, sizeof buf, "0x%012" PRIx64, authority);
  else
    std::snprintf(buf, sizeof buf, "%" PRIu64, authority);
  std::string text = std::string("S-1-") + buf;
  for (int i = 0; i < p[1]; ++i) text += "-" + std::to_string(LoadLe32(p + 8 + 4 * i));
  return text;
}

std::vector<uint8_t> MakeSid(uint64_t authority, const std::vector<DWORD>& subAuthorities) {
  std::vector<uint8_t> out(8 + 4 * subAuthorities.size());
  out[0] = 1;
  out[1] = static_cast<uint8_t>(subAuthorities.size());
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<uint8_t>(authority >> (8 * (5 - i)));
  for (size_t i = 0; i < subAuthorities.size(); ++i) StoreLe32(out.data() + 8 + 4 * i, subAuthorities[i]);
  return out;
}

}  // namespace platform

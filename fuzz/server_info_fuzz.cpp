// Browse entries from any host.ini text and any computer name: the level-101 buffer keeps its
// layout (array, then each string terminated inside the one allocation), its strings survive
// the round trip to UTF-8, and the record made from it keeps the record's rules.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "browse/browse.h"
#include "platform/net/netapi.h"
#include "platform/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // First line: the computer's name; the rest: its host.ini.
  size_t eol = input.find('\n');
  std::string name(input.substr(0, eol));
  std::string_view ini = eol == std::string_view::npos ? std::string_view() : input.substr(eol + 1);

  platform::ServerEntry entry = platform::ServerEntryOf(name, platform::ParseHostInfo(ini));
  size_t bytes = 0;
  LPBYTE buffer = platform::PackServerInfo101({entry}, &bytes);
  if (!buffer) return 0;
  if (bytes != platform::ServerInfo101Bytes(entry)) std::abort();
  const auto* info = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  const auto* end = reinterpret_cast<const WCHAR*>(buffer + bytes);
  if (reinterpret_cast<const BYTE*>(info->sv101_name) != buffer + sizeof(SERVER_INFO_101)) std::abort();
  for (const WCHAR* s : {static_cast<const WCHAR*>(info->sv101_name), static_cast<const WCHAR*>(info->sv101_comment)}) {
    const WCHAR* p = s;
    while (p < end && *p) ++p;
    if (p == end) std::abort();  // no terminator inside the buffer
    std::u16string wide(reinterpret_cast<const char16_t*>(s), static_cast<size_t>(p - s));
    std::string utf8 = platform::NetUtf8FromWide(s, wide.size() + 1);
    if (platform::Utf8ToUtf16(utf8) != wide) std::abort();
  }
  if (info->sv101_comment + std::u16string_view(reinterpret_cast<const char16_t*>(info->sv101_comment)).size() + 1 != end)
    std::abort();

  ComputerRecord record = RecordFromServerInfo(*info);
  if (record.name.size() > kMaxComputerName || record.name.find('\0') != std::string::npos) std::abort();
  if (record.typeImage < TypeImageUnknown || record.typeImage > TypeImageWorkstation) std::abort();
  if ((record.typeImage == TypeImageUnknown) != (record.typeText == "Unknown")) std::abort();
  if (NetApiBufferFree(buffer) != NERR_Success || platform::testing::LiveNetBufferCount() != 0) std::abort();
  return 0;
}

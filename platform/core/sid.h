// Binary security identifiers: revision 1, a 48-bit big-endian authority, then up to 15
// little-endian 32-bit sub-authorities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/win32.h"

namespace platform {

// The length of a well-formed binary SID that starts at `sid` within `available` bytes
// (revision 1, at most 15 sub-authorities), or 0.
std::size_t SidLength(const void* sid, std::size_t available);

// "S-1-5-21-..." of the well-formed SID at `sid` within `available` bytes; empty when there is
// none. An authority of 2^32 or more is written in hex ("S-1-0x123456789abc-..."), as Windows does.
std::string SidText(const void* sid, std::size_t available);

// A binary SID from its parts.
std::vector<uint8_t> MakeSid(uint64_t authority, const std::vector<DWORD>& subAuthorities);

}  // namespace platform

// The regf byte layout that we write ourselves: hivex reads and edits hives but cannot make one,
// so an empty hive (base block, one bin, a root key with its security cell) comes from here.
// Also the UTF-16LE text conversions that registry strings need.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/text.h"

namespace platform {

// Little-endian accessors: hive bytes are never cast to structs.
inline uint32_t LoadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void StoreLe16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void StoreLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void StoreLe64(unsigned char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

constexpr size_t kHiveBaseBlockSize = 4096;
constexpr size_t kHiveBinSize = 4096;

// The base block checksum: XOR of the first 127 DWORDs, with 0 and ~0 moved aside as the
// configuration manager does.
uint32_t HiveHeaderChecksum(const unsigned char* baseBlock);

// The bytes of an empty hive (8192): minor version 3 as NT 4.0 writes, a root key named
// "$$$PROTO.HIV" flagged as hive entry, and one security cell (Administrators owner, SYSTEM
// group, Everyone full control) that keys added later copy.
std::string MakeEmptyHive(uint64_t fileTime);

// FILETIME of now (100 ns units since 1601-01-01 UTC).
uint64_t FileTimeNow();

}  // namespace platform

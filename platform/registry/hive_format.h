// The regf byte layout that we write ourselves: hivex reads and edits hives but cannot make one,
// so an empty hive (base block, one bin, a root key with its security cell) comes from here.
// Also the UTF-16LE text conversions that registry strings need.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/bytes.h"
#include "platform/core/text.h"

namespace platform {

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

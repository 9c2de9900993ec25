#include "platform/registry/hive_format.h"

#include <chrono>
#include <cstring>

namespace platform {
namespace {

constexpr uint32_t kNoCell = 0xFFFFFFFFu;
constexpr char kRootName[] = "$$$PROTO.HIV";

// Cells are 8-byte aligned.
size_t CellSize(size_t payload) { return (payload + 4 + 7) & ~static_cast<size_t>(7); }

// A self-relative security descriptor: owner S-1-5-32-544, group S-1-5-18, and a DACL whose one
// ACE gives Everyone (S-1-1-0) KEY_ALL_ACCESS.
std::string SecurityDescriptor() {
  static const unsigned char kOwner[] = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0};
  static const unsigned char kGroup[] = {1, 1, 0, 0, 0, 0, 0, 5, 0x12, 0, 0, 0};
  static const unsigned char kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  const size_t header = 20;
  const size_t ownerAt = header, groupAt = ownerAt + sizeof kOwner, daclAt = groupAt + sizeof kGroup;
  const size_t aceSize = 8 + sizeof kEveryone, aclSize = 8 + aceSize;
  std::string sd(daclAt + aclSize, '\0');
  auto* p = reinterpret_cast<unsigned char*>(sd.data());
  p[0] = 1;                      // revision
  StoreLe16(p + 2, 0x8004);      // self-relative, DACL present
  StoreLe32(p + 4, static_cast<uint32_t>(ownerAt));
  StoreLe32(p + 8, static_cast<uint32_t>(groupAt));
  StoreLe32(p + 12, 0);          // no SACL
  StoreLe32(p + 16, static_cast<uint32_t>(daclAt));
  std::memcpy(p + ownerAt, kOwner, sizeof kOwner);
  std::memcpy(p + groupAt, kGroup, sizeof kGroup);
  unsigned char* acl = p + daclAt;
  acl[0] = 2;  // ACL revision
  StoreLe16(acl + 2, static_cast<uint16_t>(aclSize));
  StoreLe16(acl + 4, 1);
  unsigned char* ace = acl + 8;
  ace[0] = 0;     // ACCESS_ALLOWED
  ace[1] = 0x02;  // inherited by subkeys
  StoreLe16(ace + 2, static_cast<uint16_t>(aceSize));
  StoreLe32(ace + 4, 0xF003F);
  std::memcpy(ace + 8, kEveryone, sizeof kEveryone);
  return sd;
}



}  // namespace

uint32_t HiveHeaderChecksum(const unsigned char* baseBlock) {
  uint32_t sum = 0;
  for (size_t i = 0; i < 127; ++i) sum ^= LoadLe32(baseBlock + 4 * i);
  if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
  if (sum == 0) sum = 1;
  return sum;
}

uint64_t FileTimeNow() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint64_t>(since1970 / 100) + 116444736000000000ull;
}

std::string MakeEmptyHive(uint64_t fileTime) {
  std::string hive(kHiveBaseBlockSize + kHiveBinSize, '\0');
  auto* base = reinterpret_cast<unsigned char*>(hive.data());
  unsigned char* bin = base + kHiveBaseBlockSize;

  const size_t nameLen = sizeof kRootName - 1;
  const uint32_t rootAt = 0x20;
  const uint32_t nkCell = static_cast<uint32_t>(CellSize(76 + nameLen));
  const uint32_t skAt = rootAt + nkCell;
  const std::string sd = SecurityDescriptor();
  const uint32_t skCell = static_cast<uint32_t>(CellSize(20 + sd.size()));
  const uint32_t freeAt = skAt + skCell;

  std::memcpy(base, "regf", 4);
  StoreLe32(base + 4, 1);  // primary and secondary sequence equal: the hive is clean
  StoreLe32(base + 8, 1);
  StoreLe64(base + 12, fileTime);
  StoreLe32(base + 20, 1);  // major
  StoreLe32(base + 24, 3);  // minor: the NT 4.0 format
  StoreLe32(base + 28, 0);  // primary file
  StoreLe32(base + 32, 1);  // direct memory load
  StoreLe32(base + 36, rootAt);
  StoreLe32(base + 40, static_cast<uint32_t>(kHiveBinSize));
  StoreLe32(base + 44, 1);
  StoreLe32(base + 508, HiveHeaderChecksum(base));

  std::memcpy(bin, "hbin", 4);
  StoreLe32(bin + 4, 0);
  StoreLe32(bin + 8, static_cast<uint32_t>(kHiveBinSize));
  StoreLe64(bin + 0x14, fileTime);

  unsigned char* nk = bin + rootAt;
  StoreLe32(nk, static_cast<uint32_t>(-static_cast<int32_t>(nkCell)));
  unsigned char* k = nk + 4;
  std::memcpy(k, "nk", 2);
  StoreLe16(k + 2, 0x2C);  // hive entry, not deletable, ASCII name
  StoreLe64(k + 4, fileTime);
  StoreLe32(k + 16, kNoCell);  // parent
  StoreLe32(k + 28, kNoCell);  // subkey list
  StoreLe32(k + 32, kNoCell);  // volatile subkey list
  StoreLe32(k + 40, kNoCell);  // value list
  StoreLe32(k + 44, skAt);
  StoreLe32(k + 48, kNoCell);  // class
  StoreLe16(k + 72, static_cast<uint16_t>(nameLen));
  std::memcpy(k + 76, kRootName, nameLen);

  unsigned char* sk = bin + skAt;
  StoreLe32(sk, static_cast<uint32_t>(-static_cast<int32_t>(skCell)));
  unsigned char* s = sk + 4;
  std::memcpy(s, "sk", 2);
  StoreLe32(s + 4, skAt);  // the only security cell links to itself both ways
  StoreLe32(s + 8, skAt);
  StoreLe32(s + 12, 1);    // one key refers to it
  StoreLe32(s + 16, static_cast<uint32_t>(sd.size()));
  std::memcpy(s + 20, sd.data(), sd.size());

  StoreLe32(bin + freeAt, static_cast<uint32_t>(kHiveBinSize - freeAt));  // positive: free
  return hive;
}


}  // namespace platform

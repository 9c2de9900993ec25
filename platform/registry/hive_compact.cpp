#include "platform/registry/hive_compact.h"

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "platform/registry/hive_format.h"

namespace platform {
namespace {

// Offsets in cells count from the first bin, at file offset 0x1000. Field offsets below are
// from the start of a cell's data, after its 4-byte size.
constexpr uint32_t kNoCell = 0xFFFFFFFFu;
constexpr size_t kBinHeader = 32;

enum Nk : size_t {
  kNkFlags = 2,
  kNkParent = 16,
  kNkSubkeyCount = 20,
  kNkVolatileCount = 24,
  kNkSubkeyList = 28,
  kNkVolatileList = 32,
  kNkValueCount = 36,
  kNkValueList = 40,
  kNkSecurity = 44,
  kNkClass = 48,
  kNkNameLength = 72,
  kNkClassLength = 74,
  kNkName = 76,
};
enum Vk : size_t { kVkNameLength = 2, kVkDataSize = 4, kVkDataOffset = 8, kVkName = 20 };
enum Sk : size_t { kSkNext = 4, kSkPrevious = 8, kSkReferences = 12 };
enum Db : size_t { kDbSegmentCount = 2, kDbSegmentList = 4, kDbHeader = 8 };
constexpr uint32_t kInlineData = 0x80000000u;
constexpr uint32_t kBigDataAbove = 16344;  // data longer than this may be split into segments
constexpr int kMaxDepth = 512;             // as for the check of a hive

class Compactor {
 public:
  explicit Compactor(std::string_view hive) : src_(reinterpret_cast<const uint8_t*>(hive.data())), size_(hive.size()) {}

  DWORD Run(std::string& out) {
    if (size_ < kHiveBaseBlockSize + kHiveBinSize) return ERROR_REGISTRY_CORRUPT;
    const uint64_t bins = LoadLe32(src_ + 40);
    if (kHiveBaseBlockSize + bins > size_) return ERROR_REGISTRY_CORRUPT;
    binsEnd_ = bins;
    out_.assign(reinterpret_cast<const char*>(src_), kHiveBaseBlockSize);
    uint32_t root = 0;
    if (DWORD rc = CopyKey(LoadLe32(src_ + 36), kNoCell, 0, root)) return rc;
    CloseBin();
    LinkSecurity();
    uint8_t* base = reinterpret_cast<uint8_t*>(out_.data());
    StoreLe32(base + 36, root);
    StoreLe32(base + 40, static_cast<uint32_t>(out_.size() - kHiveBaseBlockSize));
    StoreLe32(base + 508, HiveHeaderChecksum(base));
    out.swap(out_);
    return ERROR_SUCCESS;
  }

 private:
  // The data of the allocated cell at `off` and its length, inside the bins; false otherwise.
  bool Cell(uint32_t off, const uint8_t*& data, uint32_t& length) const {
    if (off == kNoCell || off % 8 != 0 || static_cast<uint64_t>(off) + 8 > binsEnd_) return false;
    const int32_t size = static_cast<int32_t>(LoadLe32(src_ + kHiveBaseBlockSize + off));
    if (size >= 0 || size == INT32_MIN) return false;  // free, or no size at all
    const uint32_t total = static_cast<uint32_t>(-size);
    if (total < 8 || static_cast<uint64_t>(off) + total > binsEnd_) return false;
    data = src_ + kHiveBaseBlockSize + off + 4;
    length = total - 4;
    return true;
  }

  uint8_t* At(uint32_t off) { return reinterpret_cast<uint8_t*>(out_.data()) + kHiveBaseBlockSize + off + 4; }

  // A new cell of `length` data bytes (zeroed) in the current bin, or in a new bin large enough.
  // False once the copy would outgrow the hive it is made from: only cells reached many times
  // (a list or data shared by many keys, as a forged hive may have) make that, and a copy
  // that is no smaller is of no use.
  bool Allocate(uint32_t length, uint32_t& off) {
    const size_t cell = (static_cast<size_t>(length) + 4 + 7) & ~size_t{7};
    if (out_.size() + cell + kHiveBinSize > size_) return false;
    if (binEnd_ == 0 || used_ + cell > binEnd_) {
      CloseBin();
      const size_t binSize = (kBinHeader + cell + kHiveBinSize - 1) / kHiveBinSize * kHiveBinSize;
      const size_t at = out_.size() - kHiveBaseBlockSize;
      out_.resize(out_.size() + binSize, '\0');
      uint8_t* bin = reinterpret_cast<uint8_t*>(out_.data()) + kHiveBaseBlockSize + at;
      std::memcpy(bin, "hbin", 4);
      StoreLe32(bin + 4, static_cast<uint32_t>(at));
      StoreLe32(bin + 8, static_cast<uint32_t>(binSize));
      StoreLe64(bin + 20, LoadLe64(src_ + 12));
      used_ = at + kBinHeader;
      binEnd_ = at + binSize;
    }
    off = static_cast<uint32_t>(used_);
    StoreLe32(reinterpret_cast<uint8_t*>(out_.data()) + kHiveBaseBlockSize + off,
              static_cast<uint32_t>(-static_cast<int32_t>(cell)));
    used_ += cell;
    return true;
  }

  // The rest of the bin becomes one free cell.
  void CloseBin() {
    if (binEnd_ > used_)
      StoreLe32(reinterpret_cast<uint8_t*>(out_.data()) + kHiveBaseBlockSize + used_, static_cast<uint32_t>(binEnd_ - used_));
    used_ = binEnd_;
  }

  // The first `length` bytes of the cell at `off`, copied to a new cell of that length.
  bool CopyBytes(uint32_t off, uint32_t length, uint32_t& out) {
    const uint8_t* data;
    uint32_t have;
    if (!Cell(off, data, have) || have < length || !Allocate(length, out)) return false;
    std::memcpy(At(out), data, length);
    return true;
  }

  DWORD CopyKey(uint32_t off, uint32_t parent, int depth, uint32_t& out) {
    const uint8_t* nk;
    uint32_t length;
    if (depth > kMaxDepth || !Cell(off, nk, length) || length < kNkName || std::memcmp(nk, "nk", 2) != 0 ||
        !keys_.insert(off).second)
      return ERROR_REGISTRY_CORRUPT;
    const uint32_t keep = static_cast<uint32_t>(kNkName) + LoadLe16(nk + kNkNameLength);
    if (keep > length) return ERROR_REGISTRY_CORRUPT;
    if (!Allocate(keep, out)) return ERROR_REGISTRY_CORRUPT;
    std::memcpy(At(out), nk, keep);
    // The copy may move as cells are added to it: its cells are found again by offset.
    const uint32_t subkeys = LoadLe32(nk + kNkSubkeyCount), subkeyList = LoadLe32(nk + kNkSubkeyList);
    const uint32_t values = LoadLe32(nk + kNkValueCount), valueList = LoadLe32(nk + kNkValueList);
    const uint32_t security = LoadLe32(nk + kNkSecurity), cls = LoadLe32(nk + kNkClass);
    const uint16_t classLength = LoadLe16(nk + kNkClassLength);
    if (parent != kNoCell) StoreLe32(At(out) + kNkParent, parent);
    // Volatile keys live in memory only; a file holds none.
    StoreLe32(At(out) + kNkVolatileCount, 0);
    StoreLe32(At(out) + kNkVolatileList, kNoCell);
    if (security != kNoCell) {
      uint32_t sk = 0;
      if (!CopySecurity(security, sk)) return ERROR_REGISTRY_CORRUPT;
      StoreLe32(At(out) + kNkSecurity, sk);
    }
    if (cls != kNoCell && classLength > 0) {
      uint32_t copied = 0;
      if (!CopyBytes(cls, classLength, copied)) return ERROR_REGISTRY_CORRUPT;
      StoreLe32(At(out) + kNkClass, copied);
    } else {
      StoreLe32(At(out) + kNkClass, kNoCell);
    }
    if (values > 0) {
      uint32_t list = 0;
      if (DWORD rc = CopyValues(valueList, values, list)) return rc;
      StoreLe32(At(out) + kNkValueList, list);
    } else {
      StoreLe32(At(out) + kNkValueList, kNoCell);
    }
    if (subkeys > 0) {
      uint32_t list = 0, found = 0;
      if (DWORD rc = CopySubkeys(subkeyList, out, depth, true, list, found)) return rc;
      if (found != subkeys) return ERROR_REGISTRY_CORRUPT;
      StoreLe32(At(out) + kNkSubkeyList, list);
    } else {
      StoreLe32(At(out) + kNkSubkeyList, kNoCell);
    }
    return ERROR_SUCCESS;
  }

  // A subkey list: "li" (offsets), "lf"/"lh" (offset and hash pairs), or "ri" (offsets of
  // lists of the other kinds). The copy keeps the kind and the hashes.
  DWORD CopySubkeys(uint32_t off, uint32_t parent, int depth, bool top, uint32_t& out, uint32_t& found) {
    const uint8_t* list;
    uint32_t length;
    if (!Cell(off, list, length) || length < 4) return ERROR_REGISTRY_CORRUPT;
    const uint16_t count = LoadLe16(list + 2);
    const bool pairs = std::memcmp(list, "lf", 2) == 0 || std::memcmp(list, "lh", 2) == 0;
    const bool index = std::memcmp(list, "ri", 2) == 0;
    if (!pairs && !index && std::memcmp(list, "li", 2) != 0) return ERROR_REGISTRY_CORRUPT;
    if (index && !top) return ERROR_REGISTRY_CORRUPT;  // an index holds leaves only
    const uint32_t entry = pairs ? 8 : 4;
    const uint32_t bytes = 4 + entry * count;
    if (bytes > length || !lists_.insert(off).second) return ERROR_REGISTRY_CORRUPT;
    if (!Allocate(bytes, out)) return ERROR_REGISTRY_CORRUPT;
    std::memcpy(At(out), list, bytes);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t at = 4 + entry * i;
      uint32_t copied = 0;
      if (index) {
        if (DWORD rc = CopySubkeys(LoadLe32(list + at), parent, depth, false, copied, found)) return rc;
      } else {
        if (DWORD rc = CopyKey(LoadLe32(list + at), parent, depth + 1, copied)) return rc;
        ++found;
      }
      StoreLe32(At(out) + at, copied);
    }
    return ERROR_SUCCESS;
  }

  DWORD CopyValues(uint32_t off, uint32_t count, uint32_t& out) {
    const uint8_t* list;
    uint32_t length;
    if (!Cell(off, list, length) || count > length / 4) return ERROR_REGISTRY_CORRUPT;
    if (!Allocate(4 * count, out)) return ERROR_REGISTRY_CORRUPT;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t copied = 0;
      if (DWORD rc = CopyValue(LoadLe32(list + 4 * i), copied)) return rc;
      StoreLe32(At(out) + 4 * i, copied);
    }
    return ERROR_SUCCESS;
  }

  DWORD CopyValue(uint32_t off, uint32_t& out) {
    const uint8_t* vk;
    uint32_t length;
    if (!Cell(off, vk, length) || length < kVkName || std::memcmp(vk, "vk", 2) != 0) return ERROR_REGISTRY_CORRUPT;
    const uint32_t keep = static_cast<uint32_t>(kVkName) + LoadLe16(vk + kVkNameLength);
    if (keep > length) return ERROR_REGISTRY_CORRUPT;
    const uint32_t dataSize = LoadLe32(vk + kVkDataSize), dataOffset = LoadLe32(vk + kVkDataOffset);
    if (!Allocate(keep, out)) return ERROR_REGISTRY_CORRUPT;
    std::memcpy(At(out), vk, keep);
    const uint32_t size = dataSize & ~kInlineData;
    if ((dataSize & kInlineData) != 0) return ERROR_SUCCESS;  // the data sits in the offset field
    if (size == 0) {
      StoreLe32(At(out) + kVkDataOffset, kNoCell);
      return ERROR_SUCCESS;
    }
    const uint8_t* data;
    uint32_t have;
    if (!Cell(dataOffset, data, have)) return ERROR_REGISTRY_CORRUPT;
    uint32_t copied = 0;
    if (size > kBigDataAbove && have >= kDbHeader && std::memcmp(data, "db", 2) == 0) {
      if (DWORD rc = CopyBigData(dataOffset, copied)) return rc;
    } else if (!CopyBytes(dataOffset, size, copied)) {
      return ERROR_REGISTRY_CORRUPT;
    }
    StoreLe32(At(out) + kVkDataOffset, copied);
    return ERROR_SUCCESS;
  }

  // Data split into segments: a "db" cell, its list of segment cells, and the segments.
  DWORD CopyBigData(uint32_t off, uint32_t& out) {
    const uint8_t* db;
    uint32_t length;
    if (!Cell(off, db, length) || length < kDbHeader) return ERROR_REGISTRY_CORRUPT;
    const uint16_t count = LoadLe16(db + kDbSegmentCount);
    const uint32_t segments = LoadLe32(db + kDbSegmentList);
    const uint8_t* list;
    uint32_t listLength;
    if (!Cell(segments, list, listLength) || count > listLength / 4) return ERROR_REGISTRY_CORRUPT;
    uint32_t newList = 0;
    if (!Allocate(kDbHeader, out)) return ERROR_REGISTRY_CORRUPT;
    std::memcpy(At(out), db, kDbHeader);
    if (!Allocate(4 * count, newList)) return ERROR_REGISTRY_CORRUPT;
    StoreLe32(At(out) + kDbSegmentList, newList);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* segment;
      uint32_t segmentLength;
      const uint32_t at = LoadLe32(list + 4 * i);
      uint32_t copied = 0;
      if (!Cell(at, segment, segmentLength) || !CopyBytes(at, segmentLength, copied)) return ERROR_REGISTRY_CORRUPT;
      StoreLe32(At(newList) + 4 * i, copied);
    }
    return ERROR_SUCCESS;
  }

  // Security cells are shared: each is copied once and counts the keys that use it.
  bool CopySecurity(uint32_t off, uint32_t& out) {
    if (auto it = security_.find(off); it != security_.end()) {
      out = it->second;
      ++references_[out];
      return true;
    }
    const uint8_t* sk;
    uint32_t length;
    if (!Cell(off, sk, length) || length < 20 || std::memcmp(sk, "sk", 2) != 0) return false;
    if (!CopyBytes(off, length, out)) return false;
    security_[off] = out;
    references_[out] = 1;
    order_.push_back(out);
    return true;
  }

  // The copied security cells form one ring again, in the order they were met.
  void LinkSecurity() {
    for (size_t i = 0; i < order_.size(); ++i) {
      const uint32_t sk = order_[i];
      StoreLe32(At(sk) + kSkNext, order_[(i + 1) % order_.size()]);
      StoreLe32(At(sk) + kSkPrevious, order_[(i + order_.size() - 1) % order_.size()]);
      StoreLe32(At(sk) + kSkReferences, references_[sk]);
    }
  }

  const uint8_t* src_;
  size_t size_;
  uint64_t binsEnd_ = 0;
  std::string out_;
  size_t used_ = 0, binEnd_ = 0;
  std::set<uint32_t> keys_, lists_;
  std::map<uint32_t, uint32_t> security_, references_;
  std::vector<uint32_t> order_;
};

}  // namespace

DWORD CompactHive(std::string_view hive, std::string& out) { return Compactor(hive).Run(out); }

}  // namespace platform

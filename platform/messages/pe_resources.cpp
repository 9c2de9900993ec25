#include "platform/messages/pe_resources.h"

#include "platform/messages/pe_layout.h"

namespace platform {
namespace {

struct Section {
  uint32_t va, span, rawPointer, rawSize;
};

struct Image {
  const uint8_t* data;
  size_t size;
  uint32_t sizeOfHeaders = 0;
  std::vector<Section> sections;

  bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }

  // File offset of `length` bytes at `rva`, all inside one section's raw data (or the headers).
  bool Map(uint32_t rva, uint32_t length, size_t& offset) const {
    if (rva < sizeOfHeaders && uint64_t{rva} + length <= sizeOfHeaders && Has(rva, length)) {
      offset = rva;
      return true;
    }
    for (const Section& s : sections) {
      if (rva < s.va || uint64_t{rva} - s.va >= s.span) continue;
      uint64_t inside = uint64_t{rva} - s.va;
      if (inside + length > s.rawSize) return false;  // beyond the bytes the file holds
      uint64_t off = uint64_t{s.rawPointer} + inside;
      if (!Has(off, length)) return false;
      offset = static_cast<size_t>(off);
      return true;
    }
    return false;
  }
};

struct DirEntry {
  uint32_t id;
  uint32_t target;  // offset from the resource root, with kResIsDirectory as read
};

// The id entries of the directory at `dirOffset` (relative to the resource root at `rootRva`).
bool ReadDirectory(const Image& image, uint32_t rootRva, uint32_t dirOffset, std::vector<DirEntry>& out) {
  out.clear();
  size_t head;
  if (uint64_t{rootRva} + dirOffset > UINT32_MAX || !image.Map(rootRva + dirOffset, pe::kResDirSize, head))
    return false;
  uint32_t named = LoadLe16(image.data + head + pe::kResDirNamedCount);
  uint32_t ids = LoadLe16(image.data + head + pe::kResDirIdCount);
  uint32_t total = named + ids;
  size_t entries;
  uint64_t entriesRva = uint64_t{rootRva} + dirOffset + pe::kResDirSize;
  if (entriesRva > UINT32_MAX ||
      !image.Map(static_cast<uint32_t>(entriesRva), total * static_cast<uint32_t>(pe::kResEntrySize), entries))
    return false;
  for (uint32_t i = 0; i < total; ++i) {
    const uint8_t* e = image.data + entries + i * pe::kResEntrySize;
    uint32_t name = LoadLe32(e);
    if (name & pe::kResNameIsString) continue;  // named entries never carry a message table
    out.push_back({name & 0xFFFF, LoadLe32(e + 4)});
  }
  return true;
}

const DirEntry* FindId(const std::vector<DirEntry>& entries, uint32_t id) {
  for (const auto& e : entries)
    if (e.id == id) return &e;
  return nullptr;
}

}  // namespace

DWORD ReadMessageTables(const uint8_t* data, size_t size, MessageTables& out) {
  out = MessageTables{};
  Image image{data, size, 0, {}};
  if (!image.Has(0, pe::kDosHeaderSize) || data[0] != 'M' || data[1] != 'Z') return ERROR_BAD_EXE_FORMAT;
  uint32_t peOffset = LoadLe32(data + pe::kDosNewHeader);
  if (!image.Has(peOffset, pe::kSignatureSize + pe::kCoffSize)) return ERROR_BAD_EXE_FORMAT;
  const uint8_t* sig = data + peOffset;
  if (sig[0] != 'P' || sig[1] != 'E' || sig[2] != 0 || sig[3] != 0) return ERROR_BAD_EXE_FORMAT;
  const uint8_t* coff = sig + pe::kSignatureSize;
  uint32_t sectionCount = LoadLe16(coff + pe::kCoffSectionCount);
  uint32_t optionalSize = LoadLe16(coff + pe::kCoffOptionalSize);
  uint64_t optOffset = uint64_t{peOffset} + pe::kSignatureSize + pe::kCoffSize;
  if (optionalSize < 2 || !image.Has(optOffset, optionalSize)) return ERROR_BAD_EXE_FORMAT;
  const uint8_t* opt = data + optOffset;
  uint16_t magic = LoadLe16(opt);
  size_t countAt, dirsAt;
  if (magic == pe::kMagicPe32) {
    countAt = pe::kOptRvaCountPe32;
    dirsAt = pe::kOptDirectoriesPe32;
  } else if (magic == pe::kMagicPe32Plus) {
    countAt = pe::kOptRvaCountPe32Plus;
    dirsAt = pe::kOptDirectoriesPe32Plus;
  } else {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (optionalSize < countAt + 4) return ERROR_BAD_EXE_FORMAT;
  image.sizeOfHeaders = optionalSize >= pe::kOptSizeOfHeaders + 4 ? LoadLe32(opt + pe::kOptSizeOfHeaders) : 0;
  uint64_t sectionsAt = optOffset + optionalSize;
  if (!image.Has(sectionsAt, uint64_t{sectionCount} * pe::kSectionSize)) return ERROR_BAD_EXE_FORMAT;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* s = data + sectionsAt + i * pe::kSectionSize;
    uint32_t vsize = LoadLe32(s + pe::kSectionVirtualSize), raw = LoadLe32(s + pe::kSectionRawSize);
    image.sections.push_back({LoadLe32(s + pe::kSectionVirtualAddress), vsize > raw ? vsize : raw,
                              LoadLe32(s + pe::kSectionRawPointer), raw});
  }

  uint32_t rvaCount = LoadLe32(opt + countAt);
  uint64_t dirAt = dirsAt + uint64_t{pe::kResourceDirectory} * pe::kDirectorySize;
  if (rvaCount <= pe::kResourceDirectory || dirAt + pe::kDirectorySize > optionalSize) return ERROR_SUCCESS;
  uint32_t rootRva = LoadLe32(opt + dirAt);
  if (rootRva == 0 || LoadLe32(opt + dirAt + 4) == 0) return ERROR_SUCCESS;

  // Three levels, type -> name -> language; a fixed depth, so a directory that points back at
  // itself cannot make the walk go round.
  std::vector<DirEntry> entries;
  if (!ReadDirectory(image, rootRva, 0, entries)) return ERROR_SUCCESS;
  out.state = ERROR_RESOURCE_TYPE_NOT_FOUND;
  const DirEntry* type = FindId(entries, pe::kRtMessageTable);
  if (!type || !(type->target & pe::kResIsDirectory)) return ERROR_SUCCESS;
  if (!ReadDirectory(image, rootRva, type->target & ~pe::kResIsDirectory, entries)) return ERROR_SUCCESS;
  out.state = ERROR_RESOURCE_NAME_NOT_FOUND;
  const DirEntry* name = FindId(entries, pe::kMessageTableName);
  if (!name || !(name->target & pe::kResIsDirectory)) return ERROR_SUCCESS;
  if (!ReadDirectory(image, rootRva, name->target & ~pe::kResIsDirectory, entries)) return ERROR_SUCCESS;
  out.state = ERROR_SUCCESS;
  for (const DirEntry& lang : entries) {
    if (lang.target & pe::kResIsDirectory) continue;
    size_t leaf, table;
    if (uint64_t{rootRva} + lang.target > UINT32_MAX || !image.Map(rootRva + lang.target, pe::kResDataEntrySize, leaf))
      continue;
    uint32_t rva = LoadLe32(data + leaf + pe::kResDataRva), length = LoadLe32(data + leaf + pe::kResDataSize);
    if (!image.Map(rva, length, table)) continue;
    out.languages.emplace_back(static_cast<WORD>(lang.id), std::vector<uint8_t>(data + table, data + table + length));
  }
  return ERROR_SUCCESS;
}

DWORD FindMessageEntry(const std::vector<uint8_t>& table, DWORD id, MessageEntry& out) {
  const uint8_t* t = table.data();
  size_t size = table.size();
  if (size < 4) return ERROR_MR_MID_NOT_FOUND;
  uint64_t blocks = LoadLe32(t);
  if (blocks > (size - 4) / pe::kMtBlockSize) return ERROR_MR_MID_NOT_FOUND;
  for (uint64_t b = 0; b < blocks; ++b) {
    const uint8_t* block = t + 4 + b * pe::kMtBlockSize;
    uint32_t low = LoadLe32(block), high = LoadLe32(block + 4), offset = LoadLe32(block + 8);
    if (id < low || id > high) continue;
    // Entries have no index: the k-th is reached by walking k lengths.
    size_t at = offset;
    for (uint32_t k = 0;; ++k) {
      if (at > size || size - at < pe::kMtEntryHeader) return ERROR_MR_MID_NOT_FOUND;
      uint16_t length = LoadLe16(t + at);
      if (length < pe::kMtEntryHeader || length > size - at) return ERROR_MR_MID_NOT_FOUND;
      if (k == id - low) {
        out.unicode = (LoadLe16(t + at + 2) & pe::kMtUnicode) != 0;
        out.text = t + at + pe::kMtEntryHeader;
        size_t room = length - pe::kMtEntryHeader, n = 0;
        if (out.unicode) {
          while (n + 1 < room && (out.text[n] | out.text[n + 1]) != 0) n += 2;
        } else {
          while (n < room && out.text[n] != 0) ++n;
        }
        out.bytes = n;
        return ERROR_SUCCESS;
      }
      at += length;
    }
  }
  return ERROR_MR_MID_NOT_FOUND;
}

}  // namespace platform

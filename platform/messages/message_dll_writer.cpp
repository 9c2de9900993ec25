#include "platform/messages/message_dll_writer.h"

#include <algorithm>
#include <map>

#include "platform/messages/pe_layout.h"

namespace platform {
namespace {

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// Decodes UTF-8; a malformed byte stands for itself as a code point of Latin-1.
std::vector<uint32_t> CodePoints(const std::string& text) {
  std::vector<uint32_t> out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    int more = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c >= 0x80 && more > 0 && i + static_cast<size_t>(more) < n + 0) {
      uint32_t cp = c & (0x3F >> more);
      bool ok = true;
      for (int k = 1; k <= more; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (s[i + k] & 0x3F);
      }
      if (ok) {
        out.push_back(cp);
        i += static_cast<size_t>(more) + 1;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::vector<uint8_t> EntryText(const std::string& utf8, bool ansi) {
  std::vector<uint8_t> text;
  if (ansi) {
    std::string a = Cp1252FromUtf8(utf8);
    text.assign(a.begin(), a.end());
    text.push_back(0);
  } else {
    text = Utf16leFromUtf8(utf8);
    text.push_back(0);
    text.push_back(0);
  }
  return text;
}

size_t EntryBytes(size_t textBytes) { return (pe::kMtEntryHeader + textBytes + 3) / 4 * 4; }

std::vector<uint8_t> Table(const std::vector<MessageDllMessage>& unsorted, bool ansi) {
  std::vector<MessageDllMessage> messages = unsorted;
  std::sort(messages.begin(), messages.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  // Consecutive ids share a block.
  std::vector<std::pair<size_t, size_t>> blocks;  // [first, last] index
  for (size_t i = 0; i < messages.size(); ++i) {
    if (!blocks.empty() && messages[i].id == messages[blocks.back().second].id + 1) blocks.back().second = i;
    else blocks.push_back({i, i});
  }
  std::vector<uint8_t> entries;
  std::vector<uint32_t> entryOffsets;
  size_t head = 4 + blocks.size() * pe::kMtBlockSize;
  for (const auto& m : messages) {
    entryOffsets.push_back(static_cast<uint32_t>(head + entries.size()));
    std::vector<uint8_t> text = EntryText(m.text, ansi);
    size_t length = EntryBytes(text.size());
    size_t at = entries.size();
    entries.resize(at + length, 0);
    StoreLe16(&entries[at], static_cast<uint32_t>(length));
    StoreLe16(&entries[at + 2], ansi ? 0 : pe::kMtUnicode);
    std::copy(text.begin(), text.end(), entries.begin() + static_cast<long>(at + pe::kMtEntryHeader));
  }
  std::vector<uint8_t> table(head, 0);
  StoreLe32(&table[0], static_cast<uint32_t>(blocks.size()));
  for (size_t b = 0; b < blocks.size(); ++b) {
    uint8_t* p = &table[4 + b * pe::kMtBlockSize];
    StoreLe32(p, messages[blocks[b].first].id);
    StoreLe32(p + 4, messages[blocks[b].second].id);
    StoreLe32(p + 8, entryOffsets[blocks[b].first]);
  }
  table.insert(table.end(), entries.begin(), entries.end());
  return table;
}

std::vector<uint8_t> ResourceSection(const std::vector<MessageDllLanguage>& unsorted, bool ansi) {
  std::vector<MessageDllLanguage> langs = unsorted;
  std::sort(langs.begin(), langs.end(), [](const auto& a, const auto& b) { return a.language < b.language; });
  const uint32_t typeDir = 0, nameDir = 24, langDir = 48;
  const uint32_t dataEntries = langDir + static_cast<uint32_t>(pe::kResDirSize + langs.size() * pe::kResEntrySize);
  uint32_t at = dataEntries + static_cast<uint32_t>(langs.size() * pe::kResDataEntrySize);
  std::vector<uint8_t> out(at, 0);
  auto dir = [&](uint32_t offset, uint32_t ids) { StoreLe16(&out[offset + pe::kResDirIdCount], ids); };
  dir(typeDir, 1);
  StoreLe32(&out[typeDir + 16], pe::kRtMessageTable);
  StoreLe32(&out[typeDir + 20], nameDir | pe::kResIsDirectory);
  dir(nameDir, 1);
  StoreLe32(&out[nameDir + 16], pe::kMessageTableName);
  StoreLe32(&out[nameDir + 20], langDir | pe::kResIsDirectory);
  dir(langDir, static_cast<uint32_t>(langs.size()));
  for (size_t i = 0; i < langs.size(); ++i) {
    uint32_t entry = static_cast<uint32_t>(langDir + pe::kResDirSize + i * pe::kResEntrySize);
    uint32_t data = static_cast<uint32_t>(dataEntries + i * pe::kResDataEntrySize);
    StoreLe32(&out[entry], langs[i].language);
    StoreLe32(&out[entry + 4], data);
    std::vector<uint8_t> table = Table(langs[i].messages, ansi);
    uint32_t tableAt = AlignUp(static_cast<uint32_t>(out.size()), 4);
    out.resize(tableAt, 0);
    out.insert(out.end(), table.begin(), table.end());
    StoreLe32(&out[data + pe::kResDataRva], kSectionRva + tableAt);
    StoreLe32(&out[data + pe::kResDataSize], static_cast<uint32_t>(table.size()));
    StoreLe32(&out[data + 8], ansi ? 1252 : 0);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> Utf16leFromUtf8(const std::string& text) {
  std::vector<uint8_t> out;
  auto unit = [&](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  for (uint32_t cp : CodePoints(text)) {
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp > 0xFFFF ? 0xFFFD : cp);
    }
  }
  return out;
}

std::string Cp1252FromUtf8(const std::string& text) {
  std::string out;
  for (uint32_t cp : CodePoints(text)) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    const uint16_t* hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), cp);
    out.push_back(hit != std::end(kCp1252High) ? static_cast<char>(0x80 + (hit - kCp1252High)) : '?');
  }
  return out;
}

size_t MessageEntryBytes(const std::string& text, bool ansi) { return EntryBytes(EntryText(text, ansi).size()); }

std::vector<uint8_t> WriteMessageDll(const std::vector<MessageDllLanguage>& languages,
                                     const MessageDllOptions& options) {
  // An entry's length is 16 bits: a longer one would be stored cut and corrupt the table.
  for (const auto& language : languages)
    for (const auto& m : language.messages)
      if (MessageEntryBytes(m.text, options.ansi) > kMaxMessageEntryBytes) return {};
  std::vector<uint8_t> rsrc = ResourceSection(languages, options.ansi);
  const uint32_t peAt = 0x40;
  const uint32_t optionalSize = options.pe32plus ? 240 : 224;
  const uint32_t headers = AlignUp(peAt + 4 + 20 + optionalSize + 40, kFileAlign);
  const uint32_t rawSize = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlign);
  std::vector<uint8_t> out(headers + rawSize, 0);
  out[0] = 'M';
  out[1] = 'Z';
  StoreLe16(&out[pe::kDosRelocOffset], 0x40);
  StoreLe32(&out[pe::kDosNewHeader], peAt);
  out[peAt] = 'P';
  out[peAt + 1] = 'E';
  uint8_t* coff = &out[peAt + 4];
  StoreLe16(coff + pe::kCoffMachine, options.pe32plus ? 0x8664 : 0x14C);
  StoreLe16(coff + pe::kCoffSectionCount, 1);
  StoreLe16(coff + pe::kCoffOptionalSize, optionalSize);
  // Executable image, DLL; 32-bit machine or large-address-aware for PE32+.
  StoreLe16(coff + pe::kCoffCharacteristics, options.pe32plus ? 0x2022 : 0x2102);
  uint8_t* opt = coff + pe::kCoffSize;
  StoreLe16(opt, options.pe32plus ? pe::kMagicPe32Plus : pe::kMagicPe32);
  opt[2] = 2;  // linker version
  const uint32_t imageSize = kSectionRva + AlignUp(static_cast<uint32_t>(rsrc.size()), kSectionAlign);
  StoreLe32(opt + 8, rawSize);  // size of initialized data
  if (options.pe32plus) {
    StoreLe32(opt + 24, 0x80000000u);  // image base (low half)
    StoreLe32(opt + 28, 0x1);
  } else {
    StoreLe32(opt + 28, 0x10000000u);
  }
  StoreLe32(opt + 32, kSectionAlign);
  StoreLe32(opt + 36, kFileAlign);
  StoreLe16(opt + 40, 4);  // operating system version 4.0
  StoreLe16(opt + 48, 4);  // subsystem version 4.0
  StoreLe32(opt + 56, imageSize);
  StoreLe32(opt + pe::kOptSizeOfHeaders, headers);
  StoreLe16(opt + 68, 2);  // Windows GUI
  size_t countAt = options.pe32plus ? pe::kOptRvaCountPe32Plus : pe::kOptRvaCountPe32;
  size_t dirsAt = options.pe32plus ? pe::kOptDirectoriesPe32Plus : pe::kOptDirectoriesPe32;
  StoreLe32(opt + countAt, 16);
  StoreLe32(opt + dirsAt + pe::kResourceDirectory * pe::kDirectorySize, kSectionRva);
  StoreLe32(opt + dirsAt + pe::kResourceDirectory * pe::kDirectorySize + 4, static_cast<uint32_t>(rsrc.size()));
  uint8_t* section = opt + optionalSize;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  std::copy(name, name + 8, section);
  StoreLe32(section + pe::kSectionVirtualSize, static_cast<uint32_t>(rsrc.size()));
  StoreLe32(section + pe::kSectionVirtualAddress, kSectionRva);
  StoreLe32(section + pe::kSectionRawSize, rawSize);
  StoreLe32(section + pe::kSectionRawPointer, headers);
  StoreLe32(section + pe::kSectionCharacteristics, 0x40000040u);  // initialized data, readable
  std::copy(rsrc.begin(), rsrc.end(), out.begin() + headers);
  return out;
}

}  // namespace platform

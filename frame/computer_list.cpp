#include "frame/computer_list.h"

#include <cstring>

ComputerList computerList;

std::string_view CutText(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  // Step back over continuation bytes to the start of the character that would be split,
  // but only if that start really begins a sequence long enough to reach past the cut.
  size_t start = cut;
  while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && cut - start < 3) --start;
  if (start < cut) {
    unsigned char lead = static_cast<unsigned char>(text[start]);
    size_t len = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (len > 1 && start + len > cut) cut = start;
  }
  return text.substr(0, cut);
}

size_t CopyText(char* buffer, size_t size, std::string_view text) {
  if (size == 0) return 0;
  std::string_view cut = CutText(text, size - 1);
  std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
  return cut.size();
}

ComputerRecord MakeRecordFromName(std::string_view name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  ComputerRecord record;
  record.name = std::string(CutText(name, kMaxComputerName));
  return record;
}

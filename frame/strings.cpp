#include "frame/strings.h"

#include <string_view>

#include "frame/computer_list.h"

namespace {
StringTable current{nullptr, 0};
}

void SetStringTable(const StringTable& table) { current = table; }

const StringTable& CurrentStringTable() { return current; }

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferSize) {
  if (!buffer || bufferSize <= 0) return 0;
  buffer[0] = '\0';
  for (size_t i = 0; i < current.count; ++i) {
    if (current.entries[i].id == id) {
      return static_cast<int>(CopyText(buffer, static_cast<size_t>(bufferSize), current.entries[i].text));
    }
  }
  return 0;
}

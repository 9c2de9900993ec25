// Reader of the message tables in a PE image (PE32 or PE32+, any machine type). Works on the
// file's bytes alone: nothing is mapped as code, and every offset is checked against the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/core/win32.h"

namespace platform {

enum : DWORD { ERROR_BAD_EXE_FORMAT = 193 };

struct MessageTables {
  // ERROR_SUCCESS when the image has a message table; else why not, as FormatMessageA reports
  // it: 1812 no resource section, 1813 no message table type, 1814 no table named 1.
  DWORD state = ERROR_RESOURCE_DATA_NOT_FOUND;
  // One table per language, in the order of the image's language directory.
  std::vector<std::pair<WORD, std::vector<uint8_t>>> languages;
};

// Parses the image. Fails with ERROR_BAD_EXE_FORMAT when the bytes are not a PE image (no MZ,
// no PE signature, an unknown optional header or a section table beyond the file).
DWORD ReadMessageTables(const uint8_t* data, size_t size, MessageTables& out);

struct MessageEntry {
  bool unicode = false;  // UTF-16LE; else 8-bit text of the ANSI code page
  const uint8_t* text = nullptr;
  size_t bytes = 0;  // up to the terminator (or the entry's end when there is none)
};

// Finds message `id` in one table. ERROR_MR_MID_NOT_FOUND when it is absent or the table is
// damaged on the way to it.
DWORD FindMessageEntry(const std::vector<uint8_t>& table, DWORD id, MessageEntry& out);

}  // namespace platform

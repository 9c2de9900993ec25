// Writer of resource-only message DLLs: a PE image whose only section holds a message table.
// hostkit builds images' message files with it, and tests build their fixtures with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/win32.h"

namespace platform {

struct MessageDllMessage {
  DWORD id = 0;
  std::string text;  // UTF-8, stored as it stands (line ends included)
};

struct MessageDllLanguage {
  WORD language = 0x0409;
  std::vector<MessageDllMessage> messages;  // any order; ids unique
};

struct MessageDllOptions {
  bool ansi = false;       // entries in code page 1252 instead of UTF-16LE
  bool pe32plus = false;   // a PE32+ image (machine AMD64) instead of PE32 (i386)
};

// A message table entry's length is 16 bits and a multiple of 4: header, text, terminator and
// padding together hold at most this many bytes.
constexpr size_t kMaxMessageEntryBytes = 0xFFFC;

// The bytes `text` takes as an entry (Unicode, or code page 1252 when ansi).
size_t MessageEntryBytes(const std::string& text, bool ansi);

// The bytes of the DLL. Characters that code page 1252 lacks become '?' in ANSI entries.
// No bytes at all when a message is longer than an entry holds.
std::vector<uint8_t> WriteMessageDll(const std::vector<MessageDllLanguage>& languages,
                                     const MessageDllOptions& options = {});

// UTF-8 to UTF-16LE bytes (no terminator) and to code page 1252.
std::vector<uint8_t> Utf16leFromUtf8(const std::string& text);
std::string Cp1252FromUtf8(const std::string& text);

}  // namespace platform

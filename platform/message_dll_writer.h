// Writer of resource-only message DLLs: a PE image whose only section holds a message table.
// hostkit builds images' message files with it, and tests build their fixtures with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

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

// The bytes of the DLL. Characters that code page 1252 lacks become '?' in ANSI entries.
std::vector<uint8_t> WriteMessageDll(const std::vector<MessageDllLanguage>& languages,
                                     const MessageDllOptions& options = {});

// UTF-8 to UTF-16LE bytes (no terminator) and to code page 1252.
std::vector<uint8_t> Utf16leFromUtf8(const std::string& text);
std::string Cp1252FromUtf8(const std::string& text);

}  // namespace platform

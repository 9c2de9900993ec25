// Windows registry text files (.reg): "REGEDIT4" and "Windows Registry Editor Version 5.00".
// Read into a list of changes (nothing is applied unless the whole file reads), applied to a
// computer image's hives, and written from a key's subtree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/hive_file.h"
#include "platform/core/network.h"
#include "platform/core/win32.h"

namespace platform {

struct RegTextChange {
  enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind = CreateKey;
  std::string key;        // "SYSTEM\ControlSet001\..." (below HKEY_LOCAL_MACHINE)
  std::string valueName;  // "" is the default value ("@")
  RegistryValue value;
  int line = 0;
};

// Keys under HKEY_LOCAL_MACHINE (or HKLM) only. Strings with \\ and \" escapes, dword:,
// hex:, hex(N): (hex(2) and hex(7) are UTF-16 in version 5 files, 8-bit in REGEDIT4 ones),
// "name"=- and [-key] deletions, comments and continuation lines. A UTF-16 file (with its byte
// order mark) is read too. False with "line N: what" in `error` for the first broken line.
bool ParseRegText(std::string_view text, std::vector<RegTextChange>& changes, std::string& error);

// Applies the changes hive by hive, each hive in one locked commit; missing parent keys are
// created. A failure names the key in `error`; hives not yet reached are left as they were.
DWORD ApplyRegText(const ComputerImage& computer, const std::vector<RegTextChange>& changes, std::string& error);

// The key and its subtree as a version 5 file. keyPath as for ReadImageValue, with or without
// "HKEY_LOCAL_MACHINE\" in front.
DWORD ExportRegText(const ComputerImage& computer, std::string_view keyPath, std::string& out);

}  // namespace platform

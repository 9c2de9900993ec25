// One hive file: reading through a cached snapshot, and changing it so that no reader ever sees
// a torn file and no concurrent writer's change is lost. Knows files and hivex; knows nothing of
// computers (platform/registry/registry.h maps those onto hive files).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/win32.h"

namespace platform {

// A value as stored: its type and raw bytes (strings in UTF-16LE as the hive holds them).
struct RegistryValue {
  DWORD type = 0;
  std::string data;
};

using HiveNode = size_t;

// An open hive, read-only or in a change session. Every call answers a Win32 code:
// 0, ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_REGISTRY_CORRUPT when the hive's
// structure is broken, ERROR_INVALID_PARAMETER for a name the registry cannot hold.
class Hive {
 public:
  struct Impl;
  explicit Hive(Impl* impl) : impl_(impl) {}

  HiveNode Root() const;
  DWORD Child(HiveNode parent, std::string_view name, HiveNode& out) const;  // ignores case
  DWORD Children(HiveNode node, std::vector<HiveNode>& out) const;           // stored order
  DWORD Name(HiveNode node, std::string& out) const;                         // UTF-8
  DWORD Timestamp(HiveNode node, uint64_t& fileTime) const;
  // Walks down from the root, one name per level.
  DWORD Walk(const std::vector<std::string>& names, HiveNode& out) const;
  DWORD ValueNames(HiveNode node, std::vector<std::string>& out) const;       // "" is the default value
  DWORD GetValue(HiveNode node, std::string_view name, RegistryValue& out) const;

  // Change session only (ERROR_ACCESS_DENIED otherwise).
  DWORD AddChild(HiveNode parent, std::string_view name, HiveNode& out);
  // Walks down, creating what is missing; `created` tells whether the last key is new.
  DWORD CreatePath(const std::vector<std::string>& names, HiveNode& out, bool* created = nullptr);
  DWORD SetValue(HiveNode node, std::string_view name, const RegistryValue& value);
  DWORD DeleteValue(HiveNode node, std::string_view name);
  DWORD DeleteKey(HiveNode node);  // with its whole subtree; never the root

 private:
  Impl* impl_;
};

// The longest key name and value name the registry accepts (characters).
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// Runs `read` over a snapshot of the hive file. Snapshots are cached and reused while the file
// is the same (same inode, size and time; a replaced file is a new inode, and the snapshot keeps
// the old one open, so its number cannot come back). ERROR_FILE_NOT_FOUND when the file is
// missing, ERROR_BADDB when it is no hive (short, bad checksum, broken bins). The snapshot is
// locked while `read` runs: `read` must not read the same file again.
DWORD ReadHive(const std::string& file, const std::function<DWORD(const Hive&)>& read);

// Read-modify-write under an exclusive flock on "<file>.lock": loads the current file, runs
// `change`, and if it answered 0 and changed something, replaces the file whole with the
// hive's mode (platform/core/file_replace.h). Any failure leaves the file as it was. ERROR_ACCESS_DENIED when the file is not writable by us.
// A hive of our own making (one security cell, no class names) that has become mostly dead
// space is rebuilt compact on the way (hivex never reuses a freed cell).
DWORD ChangeHive(const std::string& file, const std::function<DWORD(Hive&)>& change);

// Creates an empty hive file with `mode` unless one exists (then it is left untouched, and the
// answer is still 0). Atomic as above, under the same lock.
DWORD CreateHiveFile(const std::string& file, unsigned mode);

// Checks a whole file as the registry would before using it: opens it and walks every key and
// value once (a cycle in the key lists is reported, not followed). 0 or the first fault's code.
DWORD CheckHiveFile(const std::string& file);

namespace testing {
// Makes the n-th next hive commit of this process fail with ERROR_WRITE_FAULT (0: none), so
// tests can show that a failed write stops what follows it and leaves the file whole.
void FailHiveCommit(int nth);
}  // namespace testing

}  // namespace platform

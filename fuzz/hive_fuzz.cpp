// Arbitrary bytes as a hive file: reading, checking, compacting and changing it never crash, and
// a change that fails leaves the file's bytes as they were.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/core/file_replace.h"
#include "platform/registry/hive_compact.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"

namespace {

std::string Folder() {
  // Kept in memory where there is a memory file system: every input is a commit with fsync.
  static const std::string* dir = [] {
    char shm[] = "/dev/shm/tallyard-fuzz-hive-XXXXXX";
    char tmp[] = "/tmp/tallyard-fuzz-hive-XXXXXX";
    const char* made = ::mkdtemp(shm);
    if (!made) made = ::mkdtemp(tmp);
    if (!made) std::abort();
    auto* d = new std::string(made);
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return d;
  }();
  return *dir;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = Folder() + "/HIVE";
  // A new inode each time, as our own commits make: the snapshot cache must notice.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Compaction walks whatever cells a changed hive holds, and only small hives are changed here.
  std::string compact;
  platform::CompactHive(input, compact);
  if (platform::ReplaceFile(file, input, 0600)) return 0;
  // A file that does not even open cannot be committed over; only the others are changed.
  if (platform::CheckHiveFile(file) == ERROR_BADDB) return 0;
  platform::ReadHive(file, [](const platform::Hive& hive) {
    platform::HiveNode node = 0;
    platform::RegistryValue v;
    if (hive.Walk({"Select"}, node) == 0) hive.GetValue(node, "Current", v);
    std::vector<std::string> names = {"CurrentControlSet", "Services"};
    platform::MapControlSet(hive, names);
    return DWORD{0};
  });
  const std::string before(reinterpret_cast<const char*>(data), size);
  DWORD rc = platform::ChangeHive(file, [](platform::Hive& hive) {
    platform::HiveNode node = 0;
    if (DWORD r = hive.CreatePath({"Fuzz", "Key"}, node)) return r;
    return hive.SetValue(node, "Value", platform::DwordValue(1));
  });
  if (rc != 0 && ReadAll(file) != before) {
    std::fprintf(stderr, "a failed change altered the hive\n");
    std::abort();
  }
  return 0;
}

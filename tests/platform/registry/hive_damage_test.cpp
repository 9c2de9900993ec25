// Hives broken where hivex does not look when it opens them: a write to one is refused, never
// reported as done, and the file stays as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/registry/hive_format.h"
#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

// The key cell ("nk") named `name` in a hive's bytes: its data, after the cell's size.
uint8_t* FindKey(std::string& bytes, const std::string& name) {
  for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
    if (at >= 76 && bytes.compare(at - 76, 2, "nk") == 0) return reinterpret_cast<uint8_t*>(bytes.data() + at - 76);
  }
  return nullptr;
}

TEST(HiveDamageTest, AWriteThatTheReaderWouldRefuseIsRefused) {
  struct Case {
    const char* what;
    std::function<void(std::string& bytes)> damage;
  } cases[] = {
      {"bins claimed past the end of the file",
       [](std::string& b) {
         auto* p = reinterpret_cast<uint8_t*>(b.data());
         StoreLe32(p + 40, LoadLe32(p + 40) + (64u << 20));
         StoreLe32(p + 508, HiveHeaderChecksum(p));
       }},
      {"a key's subkey list points nowhere",
       [](std::string& b) {
         uint8_t* nk = FindKey(b, "Broken");
         ASSERT_NE(nk, nullptr);
         StoreLe32(nk + 20, 1);
         StoreLe32(nk + 28, 0x7FFFF000);
       }},
      {"a key's value list points nowhere",
       [](std::string& b) {
         uint8_t* nk = FindKey(b, "Broken");
         ASSERT_NE(nk, nullptr);
         StoreLe32(nk + 36, 3);
         StoreLe32(nk + 40, 0x00000FF8);
       }},
  };
  TempNetwork net;
  const std::string file = net.root() + "/HIVE";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(file.c_str());
    ASSERT_EQ(CreateHiveFile(file, 0600), 0u);
    ASSERT_EQ(ChangeHive(file, [](Hive& h) {
      HiveNode n = 0;
      if (DWORD rc = h.CreatePath({"Broken"}, n)) return rc;
      return h.SetValue(n, "V", DwordValue(7));
    }), 0u);
    std::string bytes = TempNetwork::ReadFile(file);
    c.damage(bytes);
    ASSERT_FALSE(HasFatalFailure());
    TempNetwork::WriteFile(file, bytes);
    EXPECT_NE(CheckHiveFile(file), 0u);
    DWORD rc = ChangeHive(file, [](Hive& h) {
      HiveNode n = 0;
      if (DWORD r = h.CreatePath({"Other", "New"}, n)) return r;
      return h.SetValue(n, "W", StringValue(REG_SZ, "written"));
    });
    EXPECT_TRUE(rc == ERROR_BADDB || rc == ERROR_REGISTRY_CORRUPT) << rc;
    EXPECT_TRUE(TempNetwork::ReadFile(file) == bytes) << "the damaged hive was replaced";
  }
}

}  // namespace

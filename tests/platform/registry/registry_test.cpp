// The Reg* calls over computer images: connecting, opening, enumerating, querying and setting,
// with Windows' codes and buffer rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "platform/registry/hive_format.h"
#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

constexpr DWORD kSentinel = kUnsetError;

class RegistryTest : public ::testing::Test {
 protected:
  TempNetwork net;
  ComputerImage srv;
  HKEY root = nullptr;  // SRV1's HKEY_LOCAL_MACHINE
  size_t handlesAtStart = LiveHandleCount();
  void SetUp() override {
    AddImageWithHives(net, "SRV1");
    AddImageWithHives(net, "ADMINPC");
    ASSERT_EQ(FindComputer("SRV1", srv), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\Select", "Current", DwordValue(2), true), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\ControlSet002\\Services\\EventLog\\System", "File",
                              StringValue(REG_EXPAND_SZ, "%SystemRoot%\\System32\\config\\SysEvent.Evt"), true), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\ControlSet001\\Services\\EventLog\\System", "File",
                              StringValue(REG_SZ, "wrong set"), true), 0u);
    for (const char* k : {"Beta", "alpha", "Zo\xC3\xAB", "Gamma"})
      ASSERT_EQ(ChangeImageKey(srv, std::string("SOFTWARE\\Keys\\") + k, true, [](Hive&, HiveNode) { return DWORD{0}; }), 0u);
    root = Connect();
  }
  void TearDown() override {
    EXPECT_EQ(RegCloseKey(root), 0);
    EXPECT_EQ(LiveHandleCount(), handlesAtStart);
  }

  HKEY Connect(const char* name = "SRV1") {
    HKEY h = nullptr;
    EXPECT_EQ(RegConnectRegistryA(name, HKEY_LOCAL_MACHINE, &h), 0);
    return h;
  }
};

TEST_F(RegistryTest, ConnectAnswersAsTheNetworkDoes) {
  platform::HostInfo off;
  off.online = false;
  net.AddComputer("OFF1", off);
  platform::HostInfo denied;
  denied.deny = {"registry"};
  AddImageWithHives(net, "LOCKED", denied);
  struct Case {
    const char* name;
    LONG code;
  } cases[] = {{"SRV1", 0}, {"\\\\srv1", 0}, {nullptr, 0}, {"", 0}, {"NOSUCH", ERROR_BAD_NETPATH}, {"OFF1", ERROR_BAD_NETPATH}, {"LOCKED", ERROR_ACCESS_DENIED}};
  for (const auto& c : cases) {
    HKEY h = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegConnectRegistryA(c.name, HKEY_LOCAL_MACHINE, &h), c.code) << (c.name ? c.name : "(null)");
    if (c.code == 0) {
      EXPECT_EQ(RegCloseKey(h), 0);
    } else {
      EXPECT_EQ(h, reinterpret_cast<HKEY>(1)) << "a failed connect leaves the output alone";
    }
  }
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\", 0, KEY_READ, &k), 0);  // ADMINPC, the local one
  EXPECT_EQ(RegCloseKey(k), 0);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, OpenFollowsNamesWithoutCaseAndTheCurrentControlSet) {
  struct Case {
    const char* path;
    LONG code;
  } cases[] = {
      {"SOFTWARE\\Keys", 0},
      {"software\\KEYS\\", 0},  // trailing backslash, as the settings key has
      {"SOFTWARE\\Keys\\Missing", ERROR_FILE_NOT_FOUND},
      {"NOHIVE\\x", ERROR_FILE_NOT_FOUND},
      {"SOFTWARE\\\\Keys", ERROR_BAD_PATHNAME},
      {"\\SOFTWARE", ERROR_BAD_PATHNAME},
      {"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", 0},
      {"SOFTWARE\\Keys\\Zo\xC3\xAB", 0},
  };
  for (const auto& c : cases) {
    HKEY k = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, c.path, 0, KEY_READ, &k), c.code) << c.path;
    if (c.code == 0) {
      EXPECT_EQ(RegCloseKey(k), 0);
    }
  }
  HKEY log = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", 0, KEY_READ, &log), 0);
  char buf[260];
  DWORD size = sizeof buf, type = 0;
  ASSERT_EQ(RegQueryValueExA(log, "file", nullptr, &type, reinterpret_cast<LPBYTE>(buf), &size), 0);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_STREQ(buf, "%SystemRoot%\\System32\\config\\SysEvent.Evt");  // ControlSet002, as Select says
  EXPECT_EQ(size, std::strlen(buf) + 1);
  RegCloseKey(log);
}

TEST_F(RegistryTest, EnumKeysAnswersZeroMoreDataAndNoMoreItems) {
  HKEY keys = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys", 0, KEY_ENUMERATE_SUB_KEYS, &keys), 0);
  std::vector<std::string> seen;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD cch = sizeof name;
    LONG rc = RegEnumKeyExA(keys, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cch, std::strlen(name));
    seen.push_back(name);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"alpha", "Beta", "Gamma", "Zo\xC3\xAB"}));  // sorted without case
  struct Case {
    DWORD index, cch;
    LONG code;
    const char* text;  // buffer afterwards
    DWORD cchAfter;
  } cases[] = {
      {0, 6, 0, "alpha", 5},
      {0, 5, ERROR_MORE_DATA, "alph", 5},          // no room for the NUL: cut, size left as it was
      {3, 5, 0, "Zo\xC3\xAB", 4},
      {3, 4, ERROR_MORE_DATA, "Zo", 4},            // the two-byte letter does not fit whole
      {4, 10, ERROR_NO_MORE_ITEMS, "", 10},
  };
  for (const auto& c : cases) {
    char name[16] = {};
    DWORD cch = c.cch;
    EXPECT_EQ(RegEnumKeyExA(keys, c.index, name, &cch, nullptr, nullptr, nullptr, nullptr), c.code) << c.index;
    EXPECT_STREQ(name, c.text) << c.index << "/" << c.cch;
    EXPECT_EQ(cch, c.cchAfter) << c.index << "/" << c.cch;
  }
  HKEY valuesOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys", 0, KEY_QUERY_VALUE, &valuesOnly), 0);
  char name[16];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(valuesOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  // The machine's root lists its hives.
  std::vector<std::string> hives;
  for (DWORD i = 0; RegEnumKeyExA(root, i, name, &(cch = sizeof name), nullptr, nullptr, nullptr, nullptr) == 0; ++i)
    hives.push_back(name);
  EXPECT_EQ(hives, MachineHiveNames());
  RegCloseKey(valuesOnly);
  RegCloseKey(keys);
}

TEST_F(RegistryTest, QueryValueGivesSizesTypesAndUtf8) {
  ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Vals", "Text", StringValue(REG_SZ, "Zo\xC3\xAB"), true), 0u);
  ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Vals", "Multi", StringValue(REG_MULTI_SZ, std::string("a\0\xC3\xA9\0", 5))), 0u);
  ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Vals", "Short", RegistryValue{REG_DWORD, std::string("\x05\x00", 2)}), 0u);
  ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Vals", "Unterminated", RegistryValue{REG_SZ, Utf8ToUtf16Le("abc")}), 0u);
  ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Vals", "", DwordValue(9)), 0u);
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Vals", 0, KEY_QUERY_VALUE, &k), 0);
  struct Case {
    const char* name;
    DWORD bufSize;
    LONG code;
    DWORD type, size;
    std::string data;  // expected bytes in the buffer ("" when untouched)
  } cases[] = {
      {"Text", 64, 0, REG_SZ, 5, std::string("Zo\xC3\xAB\0", 5)},
      {"text", 5, 0, REG_SZ, 5, std::string("Zo\xC3\xAB\0", 5)},
      {"Text", 4, ERROR_MORE_DATA, REG_SZ, 5, ""},
      {"Multi", 64, 0, REG_MULTI_SZ, 6, std::string("a\0\xC3\xA9\0\0", 6)},
      {"Short", 4, 0, REG_DWORD, 2, std::string("\x05\x00", 2)},
      {"Unterminated", 64, 0, REG_SZ, 4, std::string("abc\0", 4)},
      {"", 4, 0, REG_DWORD, 4, std::string("\x09\0\0\0", 4)},
      {nullptr, 4, 0, REG_DWORD, 4, std::string("\x09\0\0\0", 4)},
      {"Missing", 64, ERROR_FILE_NOT_FOUND, kSentinel, 64, ""},
  };
  for (const auto& c : cases) {
    const char* label = c.name ? c.name : "(null)";
    unsigned char buf[64];
    std::memset(buf, 0xAA, sizeof buf);
    DWORD type = kSentinel, size = c.bufSize;
    EXPECT_EQ(RegQueryValueExA(k, c.name, nullptr, &type, buf, &size), c.code) << label;
    EXPECT_EQ(type, c.type) << label;
    EXPECT_EQ(size, c.size) << label;
    if (c.data.empty()) {
      EXPECT_EQ(buf[0], 0xAA) << label << ": a failing call leaves the buffer alone";
    } else {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), c.data.size()), c.data) << label;
    }
    // Without a buffer: the type and the size it would need.
    type = kSentinel;
    size = 0;
    if (c.code != ERROR_FILE_NOT_FOUND) {
      EXPECT_EQ(RegQueryValueExA(k, c.name, nullptr, &type, nullptr, &size), 0) << label;
      EXPECT_EQ(size, c.size) << label;
      EXPECT_EQ(type, c.type) << label;
    }
  }
  RegCloseKey(k);
}

TEST_F(RegistryTest, SetValueStoresUtf16AndHonoursRightsAndDenials) {
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys", 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &k), 0);
  const char text[] = "C:\\Programme\\Zo\xC3\xAB";
  ASSERT_EQ(RegSetValueExA(k, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), 0);
  RegistryValue raw;
  ASSERT_EQ(ReadImageValue(srv, "SOFTWARE\\Keys", "path", raw), 0u);
  EXPECT_EQ(raw.type, REG_SZ);
  EXPECT_EQ(raw.data, Utf8ToUtf16Le(std::string(text, sizeof text)));
  const DWORD n = 42;
  ASSERT_EQ(RegSetValueExA(k, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4), 0);
  ASSERT_EQ(RegDeleteValueA(k, "N"), 0);
  EXPECT_EQ(RegDeleteValueA(k, "N"), ERROR_FILE_NOT_FOUND);
  HKEY readOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys", 0, KEY_QUERY_VALUE, &readOnly), 0);
  EXPECT_EQ(RegSetValueExA(readOnly, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4), ERROR_ACCESS_DENIED);
  // A key deleted under an open handle.
  HKEY gone = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys\\Beta", 0, KEY_ALL_ACCESS, &gone), 0);
  EXPECT_EQ(RegDeleteKeyA(root, "SOFTWARE\\Keys"), ERROR_ACCESS_DENIED);  // it has subkeys
  ASSERT_EQ(RegDeleteKeyA(root, "SOFTWARE\\Keys\\Beta"), 0);
  EXPECT_EQ(RegSetValueExA(gone, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4), ERROR_KEY_DELETED);
  // registry-set: reading works, changing does not.
  HostInfo info;
  info.deny = {"registry-set"};
  ASSERT_EQ(WriteHostInfo(net.network() + "/SRV1/host.ini", info), 0u);
  HKEY ro = Connect();
  HKEY k2 = nullptr;
  ASSERT_EQ(RegOpenKeyExA(ro, "SOFTWARE\\Keys", 0, KEY_ALL_ACCESS, &k2), 0);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(k2, "Path", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(RegSetValueExA(k2, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_ACCESS_DENIED);
  for (HKEY h : {gone, readOnly, k, k2, ro}) EXPECT_EQ(RegCloseKey(h), 0);
}

TEST_F(RegistryTest, CreateKeyMakesParentsButNoHive) {
  HKEY k = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(root, "SOFTWARE\\A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition), 0);
  EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
  RegCloseKey(k);
  ASSERT_EQ(RegCreateKeyExA(root, "software\\a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition), 0);
  EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
  RegCloseKey(k);
  EXPECT_EQ(RegCreateKeyExA(root, "NEWHIVE\\A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(root, ("SOFTWARE\\" + std::string(256, 'n')).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &k, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, BrokenHiveAnswersBadDbAndIsNotRewritten) {
  const std::string file = net.network() + "/SRV1/C/WINNT/System32/config/SOFTWARE";
  std::string bytes = TempNetwork::ReadFile(file);
  bytes[508] ^= 1;  // checksum
  TempNetwork::WriteFile(file, bytes);
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Keys", 0, KEY_READ, &k), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyExA(root, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_BADDB);
  EXPECT_EQ(TempNetwork::ReadFile(file), bytes);
}

}  // namespace

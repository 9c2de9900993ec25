#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/core/beneath.h"
#include "platform/core/paths.h"
#include "tests/support/temp_network.h"

namespace {

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    srv1_ = net_.AddComputer("SRV1");
    net_.AddComputer("ADMINPC");
    platform::HostInfo off;
    off.online = false;
    net_.AddComputer("OFFLINE", off);
    TempNetwork::WriteFile(srv1_ + "/C/WinNT/system32/Config/SysEvent.Evt", "x");
    TempNetwork::WriteFile(srv1_ + "/C/WinNT/system32/netmsg.dll", "x");
    TempNetwork::WriteFile(net_.network() + "/ADMINPC/C/Tallyard/list.imp", "x");
    TempNetwork::WriteFile(net_.root() + "/outside.txt", "secret");
    std::filesystem::create_symlink(net_.root() + "/outside.txt", srv1_ + "/C/escape.txt");
    std::filesystem::create_directory_symlink(net_.root(), srv1_ + "/C/up");
    std::filesystem::create_symlink("WinNT/system32/netmsg.dll", srv1_ + "/C/inside.dll");
  }
  TempNetwork net_;
  std::string srv1_;
};

TEST_F(PathsTest, ResolvesEveryKindOfPath) {
  struct Case {
    const char* path;
    DWORD code;
    const char* expectSuffix;  // relative to the network folder
    platform::PathUse use = platform::PathUse::Read;
  } cases[] = {
      {"\\\\SRV1\\C$\\WINNT\\system32\\CONFIG\\sysevent.evt", 0, "/SRV1/C/WinNT/system32/Config/SysEvent.Evt"},
      {"\\\\srv1\\c$/winnt/SYSTEM32/NetMsg.DLL", 0, "/SRV1/C/WinNT/system32/netmsg.dll"},
      {"C:\\Tallyard\\LIST.IMP", 0, "/ADMINPC/C/Tallyard/list.imp"},
      {"c:/tallyard/list.imp", 0, "/ADMINPC/C/Tallyard/list.imp"},
      {"\\\\SRV1\\C$\\WINNT\\missing.dll", ERROR_FILE_NOT_FOUND, nullptr},
      {"\\\\SRV1\\C$\\NoFolder\\x.dll", ERROR_PATH_NOT_FOUND, nullptr},
      {"\\\\NOSUCH\\C$\\x", ERROR_BAD_NETPATH, nullptr},
      {"\\\\OFFLINE\\C$\\x", ERROR_BAD_NETPATH, nullptr},
      {"\\\\SRV1\\share\\x", ERROR_BAD_NET_NAME, nullptr},
      {"\\\\SRV1", ERROR_BAD_NET_NAME, nullptr},
      {"\\\\SRV1\\D$\\x", ERROR_PATH_NOT_FOUND, nullptr},
      {"\\\\SRV1\\C$\\..\\..\\outside.txt", ERROR_ACCESS_DENIED, nullptr},
      {"\\\\SRV1\\C$\\WINNT\\..\\..\\host.ini", ERROR_ACCESS_DENIED, nullptr},
      {"C:relative.txt", ERROR_BAD_PATHNAME, nullptr},
      // ADMIN$ is the system root, wherever host.ini puts it.
      {"\\\\srv1\\admin$\\System32\\netmsg.dll", 0, "/SRV1/C/WinNT/system32/netmsg.dll"},
      {"\\\\SRV1\\ADMIN$\\..\\..\\host.ini", ERROR_ACCESS_DENIED, nullptr},
      {"\\\\SRV1\\C$\\WINNT\\System32\\..\\system32\\netmsg.dll", 0, "/SRV1/C/WinNT/system32/netmsg.dll"},
      // Links that leave the image are refused; one that stays inside is followed.
      {"\\\\SRV1\\C$\\escape.txt", ERROR_ACCESS_DENIED, nullptr},
      {"\\\\SRV1\\C$\\up\\outside.txt", ERROR_ACCESS_DENIED, nullptr},
      {"\\\\SRV1\\C$\\up\\new.txt", ERROR_ACCESS_DENIED, nullptr, platform::PathUse::Create},
      {"\\\\SRV1\\C$\\inside.dll", 0, "/SRV1/C/inside.dll"},
      // A new name keeps its spelling; its folders are found without case.
      {"\\\\SRV1\\C$\\winnt\\New File.log", 0, "/SRV1/C/WinNT/New File.log", platform::PathUse::Create},
      {"\\\\SRV1\\C$\\nofolder\\new.log", ERROR_PATH_NOT_FOUND, nullptr, platform::PathUse::Create},
  };
  for (const auto& c : cases) {
    std::string native;
    DWORD rc = platform::ResolvePath(c.path, native, c.use);
    EXPECT_EQ(rc, c.code) << c.path;
    if (c.code == 0 && rc == 0) {
      EXPECT_EQ(native, net_.network() + c.expectSuffix) << c.path;
    }
  }
}

// A deep path is walked one folder at a time from the one above, not from the drive each time:
// the bytes of path resolved stay near the path's own length, links on the way included.
TEST_F(PathsTest, DeepPathsCostTheirDepth) {
  platform::ComputerImage image;
  ASSERT_EQ(platform::FindComputer("SRV1", image), 0u);
  std::string deep = "C:\\Deep", lower = "C:\\deep";
  for (int i = 0; i < 300; ++i) deep += "\\D", lower += "\\d";
  std::filesystem::create_directory_symlink("Deep", srv1_ + "/C/Linked");
  const std::string linked = "C:\\Linked" + deep.substr(7);
  struct Case {
    const char* what;
    std::function<DWORD(std::string&)> call;
  } cases[] = {
      {"make the folders", [&](std::string& n) { return platform::MakeImageFolders(image, deep, 0755, n); }},
      {"a new name, in other case",
       [&](std::string& n) { return platform::ResolveImagePath(image, lower + "\\f.txt", n, platform::PathUse::Create); }},
      {"through a link inside", [&](std::string& n) { return platform::ResolveImagePath(image, linked, n); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t before = platform::testing::BeneathBytesResolved();
    std::string native;
    EXPECT_EQ(c.call(native), 0u);
    EXPECT_LT(platform::testing::BeneathBytesResolved() - before, 4 * deep.size());
  }
}

TEST_F(PathsTest, NativePathsTakeBackslashAsSeparator) {
  std::string native;
  ASSERT_EQ(platform::ResolvePath("/opt/tallyard\\Tallyard.log", native), 0u);
  EXPECT_EQ(native, "/opt/tallyard/Tallyard.log");
  ASSERT_EQ(platform::ResolvePath("/opt/tallyard\\\\Tallyard.hlp", native), 0u);
  EXPECT_EQ(native, "/opt/tallyard//Tallyard.hlp");
  EXPECT_EQ(platform::ResolvePath("", native), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(platform::ResolvePath(std::string_view("a\0b", 3), native), ERROR_BAD_PATHNAME);
}

TEST(ExpandSystemRootTest, ReplacesBothNamesInAnyCase) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"%SystemRoot%\\System32\\netmsg.dll", "C:\\WINNT\\System32\\netmsg.dll"},
      {"%SYSTEMROOT%\\a;%windir%\\b", "C:\\WINNT\\a;C:\\WINNT\\b"},
      {"%SystemRoot", "%SystemRoot"},
      {"%Other%\\x", "%Other%\\x"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::ExpandSystemRoot(c.in, "C:\\WINNT"), c.out) << c.in;
}

TEST(ComputerNamesTest, MatchWithoutCaseAndDropLeadingBackslashes) {
  TempNetwork net;
  net.AddComputer("Srv1");
  platform::ComputerImage c;
  for (const char* name : {"SRV1", "srv1", "\\\\SRV1", "Srv1"}) {
    ASSERT_EQ(platform::FindComputer(name, c), 0u) << name;
    EXPECT_EQ(c.name, "Srv1");
  }
  for (const char* name : {"", "..", ".", "SRV1/../x", "\\\\", "SRV2"}) EXPECT_EQ(platform::FindComputer(name, c), ERROR_BAD_NETPATH) << name;
}

TEST(ComputerNamesTest, LocalNameComesFromTheEnvironmentCutTo15) {
  ScopedEnv name("COMPUTERNAME", "\\\\ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(platform::LocalComputerName(), "ABCDEFGHIJKLMNO");
  name.Set(std::nullopt);
  std::string host = platform::LocalComputerName();
  EXPECT_FALSE(host.empty());
  EXPECT_LE(host.size(), 15u);
  for (char ch : host) EXPECT_FALSE(ch >= 'a' && ch <= 'z') << host;
}

}  // namespace

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

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
  }
  TempNetwork net_;
  std::string srv1_;
};

TEST_F(PathsTest, ResolvesEveryKindOfPath) {
  struct Case {
    const char* path;
    DWORD code;
    const char* expectSuffix;  // relative to the network folder ("" = native path as given)
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
  };
  for (const auto& c : cases) {
    std::string native;
    DWORD rc = platform::ResolvePath(c.path, native);
    EXPECT_EQ(rc, c.code) << c.path;
    if (c.code == 0 && rc == 0) {
      EXPECT_EQ(native, net_.network() + c.expectSuffix) << c.path;
    }
  }
}

TEST_F(PathsTest, DotDotInsideTheImageStaysInside) {
  std::string native;
  ASSERT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\WINNT\\System32\\..\\system32\\netmsg.dll", native), 0u);
  EXPECT_EQ(native, srv1_ + "/C/WinNT/system32/netmsg.dll");
}

TEST_F(PathsTest, LinksThatLeaveTheImageAreRefused) {
  std::filesystem::create_symlink(net_.root() + "/outside.txt", srv1_ + "/C/escape.txt");
  std::filesystem::create_directory_symlink(net_.root(), srv1_ + "/C/up");
  std::filesystem::create_symlink("WinNT/system32/netmsg.dll", srv1_ + "/C/inside.dll");
  std::string native;
  EXPECT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\escape.txt", native), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\up\\outside.txt", native), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\up\\new.txt", native, platform::PathUse::Create),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\inside.dll", native), 0u);
}

TEST_F(PathsTest, CreateKeepsTheNewNameAndResolvesTheFolders) {
  std::string native;
  ASSERT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\winnt\\New File.log", native, platform::PathUse::Create), 0u);
  EXPECT_EQ(native, srv1_ + "/C/WinNT/New File.log");
  EXPECT_EQ(platform::ResolvePath("\\\\SRV1\\C$\\nofolder\\new.log", native, platform::PathUse::Create),
            ERROR_PATH_NOT_FOUND);
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

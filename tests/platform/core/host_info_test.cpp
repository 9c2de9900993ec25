#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/core/network.h"
#include "tests/support/temp_network.h"

namespace {

TEST(HostInfoTest, ParsesEveryKeyAndIgnoresComments) {
  const char* text =
      "; lab computer\n"
      "[host]\n"
      "domain = LAB            ; its domain\n"
      "Role = PDC\n"
      "version=4.0\n"
      "systemroot = D:\\WINNT35\n"
      "comment = Main file server #1\n"
      "type = 0x00009003\n"
      "[faults]\n"
      "online = false\n"
      "busy = 3\n"
      "deny = EventLog, clear ,registry\n";
  platform::HostInfo h = platform::ParseHostInfo(text);
  EXPECT_EQ(h.domain, "LAB");
  EXPECT_EQ(h.role, "pdc");
  EXPECT_EQ(h.version, "4.0");
  EXPECT_EQ(h.systemroot, "D:\\WINNT35");
  EXPECT_EQ(h.comment, "Main file server");
  ASSERT_TRUE(h.type.has_value());
  EXPECT_EQ(*h.type, 0x9003u);
  EXPECT_FALSE(h.online);
  EXPECT_EQ(h.busy, 3);
  EXPECT_TRUE(h.Denies("eventlog"));
  EXPECT_TRUE(h.Denies("CLEAR"));
  EXPECT_TRUE(h.Denies("registry"));
  EXPECT_FALSE(h.Denies("lsa-set"));
}

TEST(HostInfoTest, BadValuesKeepTheirDefaults) {
  platform::HostInfo h = platform::ParseHostInfo(
      "[host]\ntype = 0xZZ\n[faults]\nbusy = -4\nonline = maybe\n[other]\ndomain = X\nno equals sign\n\x01\xff=\n");
  EXPECT_FALSE(h.type.has_value());
  EXPECT_EQ(h.busy, 0);
  EXPECT_TRUE(h.online);
  EXPECT_EQ(h.domain, "");
  EXPECT_EQ(h.role, "workstation");
}

// A computer's folder may hold a link named like the temporary; the write must not go through it.
TEST(HostInfoTest, WriteThenReadGivesTheSameHostAndFollowsNoLink) {
  TempNetwork net;
  const std::string outside = net.root() + "/outside.txt", file = net.root() + "/host.ini";
  TempNetwork::WriteFile(outside, "keep me");
  std::filesystem::create_symlink(outside, file + ".tmp");
  platform::HostInfo h;
  h.domain = "LAB";
  h.role = "bdc";
  h.version = "3.51";
  h.comment = "backup";
  h.type = 0x9013;
  h.online = false;
  h.busy = 10;
  h.deny = {"clear", "lsa-open"};
  ASSERT_EQ(platform::WriteHostInfo(file, h), 0u);
  EXPECT_EQ(TempNetwork::ReadFile(outside), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(file));
  platform::HostInfo back;
  ASSERT_EQ(platform::ReadHostInfo(file, back), 0u);
  EXPECT_EQ(platform::FormatHostInfo(back), platform::FormatHostInfo(h));
  EXPECT_EQ(platform::ReadHostInfo(net.root() + "/none.ini", back), ERROR_FILE_NOT_FOUND);
}

// host.ini is image content: what is no small regular file is refused at once, never waited on
// or read without end, and a byte-order mark does not hide the section after it.
TEST(HostInfoTest, OnlyASmallRegularFileIsRead) {
  TempNetwork net;
  const std::string file = net.root() + "/host.ini";
  struct Case {
    const char* what;
    std::function<void()> make;
    DWORD rc;
    const char* domain;
  } cases[] = {
      {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, ERROR_BAD_FORMAT, ""},
      {"link to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", file); }, ERROR_BAD_FORMAT, ""},
      {"oversized", [&] { TempNetwork::WriteFile(file, "[host]\ndomain = BIG\n" + std::string(1 << 20, ';')); },
       ERROR_BAD_FORMAT, ""},
      {"byte-order mark", [&] { TempNetwork::WriteFile(file, "\xEF\xBB\xBF[host]\ndomain = LAB\n"); }, ERROR_SUCCESS,
       "LAB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(file);
    c.make();
    platform::HostInfo h;
    EXPECT_EQ(platform::ReadHostInfo(file, h), c.rc);
    EXPECT_EQ(h.domain, c.domain);
  }
}

}  // namespace

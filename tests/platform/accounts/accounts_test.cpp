// LookupAccountSidA: well-known SIDs, a real SAM hive, BUILTIN aliases, domain accounts through
// the primary controller's image, and the buffer and failure answers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/accounts/accounts.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"

namespace {

using platform::MakeSid;

const std::string kRealSam = TALLYARD_SOURCE_DIR "/../shared/fixtures/real/SAM";

std::string Err(DWORD code) { return "ERR " + std::to_string(code); }

std::string Lookup(const char* computer, const std::vector<uint8_t>& sid, SID_NAME_USE* use = nullptr) {
  char name[256], domain[256];
  DWORD cn = sizeof name, cd = sizeof domain;
  SID_NAME_USE u = SidTypeInvalid;
  std::vector<uint8_t> copy = sid;
  SetLastError(kUnsetError);
  if (!LookupAccountSidA(computer, copy.data(), name, &cn, domain, &cd, &u)) return Err(GetLastError());
  EXPECT_EQ(cn, std::strlen(name));
  EXPECT_EQ(cd, std::strlen(domain));
  if (use) *use = u;
  return std::string(domain) + "\\" + name;
}

// A SAM with one account domain (S-1-5-21-a-b-c) and the given users and groups.
void WriteSam(const platform::ComputerImage& c, DWORD a, DWORD b, DWORD d,
              const std::vector<std::pair<std::string, DWORD>>& users,
              const std::vector<std::pair<std::string, DWORD>>& groups = {}) {
  std::string file;
  std::filesystem::create_directories(c.root + "/C/WINNT/System32/config");
  ASSERT_EQ(platform::ImageHiveFile(c, "SAM", file, true), 0u);
  ASSERT_EQ(platform::CreateHiveFile(file, 0644), 0u);
  std::string v(0x30, '\x01');  // the domain's V: fixed part, then the SID's last three parts
  for (DWORD part : {a, b, d})
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<char>(part >> (8 * i)));
  ASSERT_EQ(platform::WriteImageValue(c, "SAM\\SAM\\Domains\\Account", "V", {REG_BINARY, v}, true), 0u);
  for (const auto& [n, rid] : users)
    ASSERT_EQ(platform::WriteImageValue(c, "SAM\\SAM\\Domains\\Account\\Users\\Names\\" + n, "", {rid, ""}, true), 0u);
  for (const auto& [n, rid] : groups)
    ASSERT_EQ(platform::WriteImageValue(c, "SAM\\SAM\\Domains\\Account\\Groups\\Names\\" + n, "", {rid, ""}, true), 0u);
}

platform::ComputerImage Image(const std::string& name) {
  platform::ComputerImage c;
  EXPECT_EQ(platform::FindComputer(name, c), 0u);
  return c;
}

TEST(AccountsTest, WellKnownSidsAndTheImagesVersion) {
  TempNetwork net;
  platform::HostInfo nt4, xp;
  xp.version = "5.1";
  net.AddComputer("NT4", nt4);
  net.AddComputer("XP", xp);
  std::vector<uint8_t> badRevision = MakeSid(5, {18}), tooManyParts = MakeSid(5, {18});
  badRevision[0] = 2;
  tooManyParts[1] = 16;
  struct Case {
    const char* computer;
    std::vector<uint8_t> sid;
    std::string expected;
  };
  const Case cases[] = {
      {"NT4", MakeSid(1, {0}), "\\Everyone"},
      {"NT4", MakeSid(5, {18}), "NT AUTHORITY\\SYSTEM"},
      {"NT4", MakeSid(5, {32}), "BUILTIN\\BUILTIN"},
      {"NT4", MakeSid(5, {32, 544}), "BUILTIN\\Administrators"},  // no SAM: the aliases every NT has
      {"NT4", MakeSid(5, {32, 600}), Err(ERROR_NONE_MAPPED)},
      {"NT4", MakeSid(5, {19}), Err(ERROR_NONE_MAPPED)},  // LOCAL SERVICE came with XP
      {"XP", MakeSid(5, {19}), "NT AUTHORITY\\LOCAL SERVICE"},
      {"NT4", MakeSid(5, {21, 1, 2, 3, 500}), Err(ERROR_NONE_MAPPED)},
      {"NOSUCH", MakeSid(5, {18}), Err(RPC_S_SERVER_UNAVAILABLE)},
      {"NT4", badRevision, Err(ERROR_INVALID_SID)},
      {"NT4", tooManyParts, Err(ERROR_INVALID_SID)},
  };
  for (const Case& c : cases) EXPECT_EQ(Lookup(c.computer, c.sid), c.expected) << c.computer << " " << platform::SidText(c.sid.data(), c.sid.size());
}

TEST(AccountsTest, RealSamHive) {
  if (!std::filesystem::exists(kRealSam)) GTEST_SKIP() << "no real SAM hive";
  TempNetwork net;
  std::string dir = net.AddComputer("WS1");
  std::filesystem::create_directories(dir + "/C/WINNT/System32/config");
  std::filesystem::copy_file(kRealSam, dir + "/C/WINNT/System32/config/SAM");
  const DWORD a = 4070822719u, b = 3404542230u, c = 2541167049u;
  SID_NAME_USE use;
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, a, b, c, 500}), &use), "WS1\\Administrator");
  EXPECT_EQ(use, SidTypeUser);
  EXPECT_EQ(Lookup("ws1", MakeSid(5, {21, a, b, c, 501})), "WS1\\Guest");
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, a, b, c, 513}), &use), "WS1\\None");
  EXPECT_EQ(use, SidTypeGroup);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, a, b, c}), &use), "WS1\\WS1");
  EXPECT_EQ(use, SidTypeDomain);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {32, 580})), "BUILTIN\\Remote Management Users");
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, a, b, c, 4242})), Err(ERROR_NONE_MAPPED));
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, a, b, c + 1, 500})), Err(ERROR_NONE_MAPPED));
}

TEST(AccountsTest, DomainAccountsThroughThePrimaryController) {
  TempNetwork net;
  platform::HostInfo pdc, member, other, bdc;
  pdc.role = "pdc";
  pdc.domain = "LAB";
  member.domain = "lab";
  other.domain = "ELSEWHERE";
  bdc.role = "bdc";
  bdc.domain = "LAB";
  net.AddComputer("DC1", pdc);
  net.AddComputer("WS1", member);
  net.AddComputer("WS2", other);
  net.AddComputer("BDC1", bdc);
  WriteSam(Image("DC1"), 10, 20, 30, {{"Administrator", 500}, {"alice", 1000}}, {{"Domain Admins", 512}});
  WriteSam(Image("WS1"), 7, 8, 9, {{"Administrator", 500}, {"localuser", 1000}});
  SID_NAME_USE use;
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 10, 20, 30, 1000}), &use), "LAB\\alice");
  EXPECT_EQ(use, SidTypeUser);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 10, 20, 30, 512}), &use), "LAB\\Domain Admins");
  EXPECT_EQ(use, SidTypeGroup);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 7, 8, 9, 1000})), "WS1\\localuser");  // its own SAM first
  EXPECT_EQ(Lookup("DC1", MakeSid(5, {21, 10, 20, 30, 500})), "LAB\\Administrator");
  EXPECT_EQ(Lookup("BDC1", MakeSid(5, {21, 10, 20, 30, 1000})), "LAB\\alice");
  EXPECT_EQ(Lookup("WS2", MakeSid(5, {21, 10, 20, 30, 1000})), Err(ERROR_NONE_MAPPED));  // another domain
  EXPECT_EQ(Lookup("DC1", MakeSid(5, {21, 7, 8, 9, 1000})), Err(ERROR_NONE_MAPPED));
  // An account added later is known at once (the SAM is read again when its file changes).
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 10, 20, 30, 1001})), Err(ERROR_NONE_MAPPED));
  ASSERT_EQ(platform::WriteImageValue(Image("DC1"), "SAM\\SAM\\Domains\\Account\\Users\\Names\\bob", "",
                                      {1001, ""}, true),
            0u);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 10, 20, 30, 1001})), "LAB\\bob");
  // The controller switched off: its accounts are not known.
  pdc.online = false;
  ASSERT_EQ(platform::WriteHostInfo(net.network() + "/DC1/host.ini", pdc), 0u);
  EXPECT_EQ(Lookup("WS1", MakeSid(5, {21, 10, 20, 30, 1000})), Err(ERROR_NONE_MAPPED));
}

TEST(AccountsTest, BuffersAndSidLengths) {
  TempNetwork net;
  net.AddComputer("NT4");
  std::vector<uint8_t> system = MakeSid(5, {18});
  char name[4], domain[32];
  DWORD cn = sizeof name, cd = sizeof domain;
  SID_NAME_USE use;
  SetLastError(kUnsetError);
  EXPECT_FALSE(LookupAccountSidA("NT4", system.data(), name, &cn, domain, &cd, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cn, 7u);  // "SYSTEM" and its NUL
  EXPECT_EQ(cd, 13u);
  char big[7];
  cn = 6;  // room for the name but not its NUL
  SetLastError(kUnsetError);
  EXPECT_FALSE(LookupAccountSidA("NT4", system.data(), big, &cn, domain, &cd, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cn, 7u);
  EXPECT_TRUE(LookupAccountSidA("NT4", system.data(), big, &cn, domain, &cd, &use));
  EXPECT_STREQ(big, "SYSTEM");
  EXPECT_EQ(platform::SidLength(system.data(), system.size()), 12u);
  EXPECT_EQ(platform::SidLength(system.data(), 11), 0u);
}

}  // namespace

// ApplyAuditPolicy and its texts against computers that audit nothing,
// everything or a mix, that refuse the set, cannot be reached, hold a layout we do not know, or
// have a name beyond ASCII; "Do Not Audit" still changing the categories.
#include "audit/audit_policy.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/platform/lsa/lsa_support.h"

namespace {

using Outcome = std::pair<DWORD, std::string>;
const std::string kOn("\x01\x21\x14\x00", 4);

// Choices as digits, category by category: 0 Off, 1 On, 2 (or anything else) Unchanged.
PolicySettings Settings(int32_t mode, const char* success, const char* failure) {
  PolicySettings s;
  s.auditingMode = mode;
  for (int i = 0; i < kAuditCategoryCount; ++i) {
    s.successChoices[i] = static_cast<AuditChoice>(success[i] - '0');
    s.failureChoices[i] = static_cast<AuditChoice>(failure[i] - '0');
  }
  return s;
}

// With the default settings (auditing on, all Unchanged) an apply only reads a computer that audits.
Outcome Apply(const char* name, const PolicySettings& settings = PolicySettings{}) {
  char text[100];
  std::memset(text, 'X', sizeof text);
  const DWORD rc = ApplyAuditPolicy(name, settings, text);
  return {rc, std::string(text, strnlen(text, sizeof text))};
}

// Across the three rows every choice meets every category in both directions. The texts before
// are FormatPolicyText's worked examples (a mix, everything, nothing); after each set the text is
// formed from the buffer as sent, whose bit 4 it ignores, and a second read shows the hive agrees.
TEST(ApplyAuditPolicyTest, ChoicesMeetComputersThatAuditNothingEverythingOrAMix) {
  TempNetwork net;
  const char* rows[][2] = {{"0120120", "1201201"}, {"1201201", "2012012"}, {"2012012", "0120120"}};
  const struct {
    std::string value;
    const char* before;
    const char* after[3];
  } computers[] = {
      {Lay(kOn, {0, 0, 0, 0, 0, 0, 0}), "+rlfupsg -rlfupsg", {"+rLfuPsg -RlfUpsG", "+RlfUpsG -rlFupSg", "+rlFupSg -rLfuPsg"}},
      {kNt4AuditAll, "+RLFUPSG -RLFUPSG", {"+rLFuPSg -RLfUPsG", "+RLfUPsG -RlFUpSG", "+RlFUpSG -rLFuPSg"}},
      {Lay(kOn, {0, 3, 0, 0, 0, 1, 0}), "+rLfupSg -rLfupsg", {"+rLfuPSg -RLfUpsG", "+RLfUpsG -rlFupSg", "+rlFupSg -rLfuPsg"}},
  };
  for (const auto& computer : computers) {
    for (int row = 0; row < 3; ++row) {
      SCOPED_TRACE(std::string(computer.before) + " row " + std::to_string(row));
      AddPolicyComputer(net, "SRV1", computer.value);
      EXPECT_EQ(Apply("SRV1"), Outcome(0, computer.before));
      EXPECT_EQ(Apply("SRV1", Settings(1, rows[row][0], rows[row][1])), Outcome(0, computer.after[row]));
      EXPECT_EQ(Apply("SRV1"), Outcome(0, computer.after[row]));  // the hive holds what the text says
    }
  }
}

TEST(ApplyAuditPolicyTest, FailuresKeepTheTextTheirStepAllows) {
  TempNetwork net;
  const size_t handles = platform::LiveHandleCount();
  platform::HostInfo setDenied;
  setDenied.deny = {"lsa-set"};
  AddPolicyComputer(net, "READONLY", kNt4AuditAll, setDenied);
  AddPolicyComputer(net, "LATER", std::string(136, '\x01'));
  AddPolicyComputer(net, "\xC3\x89T\xC3\x89", Lay(kOn, {0, 0, 0, 0, 0, 0, 0}));  // UTF-8, as the list holds names
  const PolicySettings clear = Settings(1, "0000000", "0000000");
  EXPECT_EQ(Apply("READONLY", clear), Outcome(ERROR_ACCESS_DENIED, "+RLFUPSG -RLFUPSG"));
  EXPECT_EQ(Apply("GHOST", clear), Outcome(RPC_S_SERVER_UNAVAILABLE, "Unknown"));
  EXPECT_EQ(Apply("LATER", clear), Outcome(ERROR_UNKNOWN_REVISION, "Unknown"));
  EXPECT_EQ(Apply("\xC3\x89T\xC3\x89", Settings(1, "1111111", "2222222")), Outcome(0, "+RLFUPSG -rlfupsg"));
  // "Do Not Audit" still sends the categories; a choice of 7, as a damaged registry may hold, is Unchanged.
  PolicySettings off = Settings(0, "2222222", "1111112");
  off.failureChoices[6] = static_cast<AuditChoice>(7);
  EXPECT_EQ(Apply("\xC3\x89T\xC3\x89", off), Outcome(0, "Auditing Disabled"));
  EXPECT_EQ(Apply("\xC3\x89T\xC3\x89"), Outcome(0, "+RLFUPSG -RLFUPSg"));
  EXPECT_EQ(Apply("READONLY"), Outcome(ERROR_ACCESS_DENIED, "+RLFUPSG -RLFUPSG"));
  // A 2000/XP computer keeps its two later categories: only the seven are sent.
  const platform::ComputerImage xp = AddPolicyComputer(net, "XP", Lay(kOn, {3, 3, 3, 3, 3, 3, 3, 3, 3}));
  EXPECT_EQ(Apply("XP", clear), Outcome(0, "+rlfupsg -rlfupsg"));
  EXPECT_EQ(PolicyValue(xp), Lay(kOn, {0, 0, 0, 0, 0, 0, 0, 3, 3}));
  EXPECT_EQ(platform::LiveHandleCount(), handles);
  EXPECT_EQ(platform::testing::LiveLsaBufferCount(), 0u);
}

}  // namespace

// hostkit policy: shown as the report shows it, set, switched off and laid out again in either
// layout, step after step on one computer; what it refuses changes nothing. hostkit lab: each
// computer gets its described policy in its version's layout.
#include <gtest/gtest.h>

#include "tests/platform/lsa/lsa_support.h"
#include "tests/support/tool_run.h"

namespace {

TEST(HostkitPolicyTest, ShowsSetsSwitchesOffAndLaysOut) {
  TempNetwork net;
  std::string out;
  auto run = [&](const std::string& args) {
    return RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " " + args + " --network " + Quoted(net.network()), &out);
  };
  ASSERT_EQ(run("create WKS1"), 0) << out;
  platform::ComputerImage image;
  ASSERT_EQ(platform::FindComputer("WKS1", image), 0u);
  const std::string off(4, '\0'), on("\x01\0\0\0", 4);
  const struct {
    const char* args;
    int exit;
    std::string shown;  // for a refusal: part of the reason
    std::string value;  // empty: as before
  } steps[] = {
      {"policy WKS1", 0, "Auditing Disabled\n", Lay(off, {0, 0, 0, 0, 0, 0, 0})},
      {"policy wks1 --set '+RLfupsg -rlfupsG'", 0, "+RLfupsg -rlfupsG\n", Lay(on, {1, 1, 0, 0, 0, 0, 2})},
      {"policy WKS1 --off --layout 2000", 0, "Auditing Disabled\n", Lay(off, {1, 1, 0, 0, 0, 0, 2, 0, 0})},
      {"policy WKS1 --layout nt4 --set '+rlfupsg -RLFUPSG'", 0, "+rlfupsg -RLFUPSG\n", Lay(on, {2, 2, 2, 2, 2, 2, 2})},
      {"policy WKS1 --set '+RLfupsx -rlfupsG'", 2, "--set", ""},
      {"policy WKS1 --set '+RLFUPSG -RLFUPSG' --off", 2, "usage", ""},
      {"policy GHOST", 1, "no computer", ""},
  };
  for (const auto& step : steps) {
    const std::string before = PolicyValue(image);
    EXPECT_EQ(run(step.args), step.exit) << step.args << ": " << out;
    EXPECT_NE(out.find(step.shown), std::string::npos) << step.args << ": " << out;
    EXPECT_EQ(PolicyValue(image), step.value.empty() ? before : step.value) << step.args;
  }
}

TEST(HostkitPolicyTest, TheLabSetsEachComputersPolicyInItsVersionsLayout) {
  TempNetwork net;
  TempNetwork::WriteFile(net.root() + "/lab/lab.txt", "[computer NT4]\naudit = +RLfupsg -rlfupsG\n"
                                                      "[computer XP]\nversion = 5.1\naudit = +rLfupsg -rLfupsg\n"
                                                      "[computer W2K]\nversion = 5.0\naudit = off\n[computer NONE]\n");
  std::string out;
  ASSERT_EQ(RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " lab " + Quoted(net.root() + "/lab") +
                        " --network " + Quoted(net.network()), &out), 0) << out;
  const std::string off(4, '\0'), on("\x01\0\0\0", 4);
  const std::pair<const char*, std::string> expected[] = {{"NT4", Lay(on, {1, 1, 0, 0, 0, 0, 2})},
                                                          {"XP", Lay(on, {0, 3, 0, 0, 0, 0, 0, 0, 0})},
                                                          {"W2K", Lay(off, {0, 0, 0, 0, 0, 0, 0, 0, 0})},
                                                          {"NONE", Lay(off, {0, 0, 0, 0, 0, 0, 0})}};
  for (const auto& [name, value] : expected) {
    platform::ComputerImage image;
    ASSERT_EQ(platform::FindComputer(name, image), 0u) << name;
    EXPECT_EQ(PolicyValue(image), value) << name;
  }
}

}  // namespace

// Lab descriptions: each kind of broken description is refused with the line and the reason
// (the demo lab's records are compared with an independent reader by the gather tests); the
// demo lab's logon events carry the accounts they name, and those accounts resolve.
#include <gtest/gtest.h>

#include "tests/support/golden.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"
#include "tools/hostkit/lab_description.h"

namespace {

TEST(LabDescriptionTest, BrokenDescriptionsAreRefusedWithTheirReason) {
  for (const GoldenCase& c : ReadGolden("tools/golden/lab_refusals.txt")) {
    hostkit::LabDescription lab;
    std::string error;
    EXPECT_FALSE(hostkit::ParseLabDescription(c.Get("text"), lab, error)) << c.name;
    EXPECT_EQ(error, c.Get("error")) << c.name;
  }
}

// A logon's user is the account string 1 names: on the controller that holds it, on the backup
// controller and on a workstation, which both find it through the controller.
TEST(LabAccountsTest, LogonsCarryTheAccountsTheyName) {
  TempNetwork net;
  const std::string hostkit = TALLYARD_BINARY_DIR "/tools/hostkit/hostkit";
  std::string out;
  ASSERT_EQ(RunTool(hostkit + " lab " TALLYARD_SOURCE_DIR "/examples/lab", &out), 0) << out;
  for (const char* computer : {"LABDC1", "LABDC2", "WKS01"}) {
    SCOPED_TRACE(computer);
    ASSERT_EQ(RunTool(hostkit + " events " + computer + " Security --describe 2>&1", &out), 0) << out;
    size_t logons = 0;
    for (const auto& f : TabLines(out)) {
      ASSERT_EQ(f.size(), 15u);
      if (f[3] != "528" && f[3] != "538") continue;
      ++logons;
      const std::string named = f[9].substr(0, f[9].find('\x1F'));
      EXPECT_EQ(f[12], named) << f[8];
    }
    EXPECT_GT(logons, 20u);
  }
}

}  // namespace

// Lab descriptions: each kind of broken description is refused with the line and the reason
// (the demo lab's records are compared with an independent reader by the gather tests); the
// demo lab's logon events carry the accounts they name, and those accounts resolve.
#include <gtest/gtest.h>

#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"
#include "tools/hostkit/lab_description.h"

namespace {

TEST(LabDescriptionTest, BrokenDescriptionsAreRefusedWithTheirReason) {
  const std::string source = "[source System S]\nevents = m\n[messages m]\nfile = m.mc\n";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"seed = 1\n", "line 1: \"seed\" before any section"},
      {"[lab]\nstart = 2025-13-01 00:00:00\n", "line 2: bad value for \"start\": 2025-13-01 00:00:00"},
      {"[lab]\nlog-size = 100K\n", "line 2: bad value for \"log-size\": 100K"},
      {"[computer A]\n[computer a]\n", "line 2: computer a is described twice"},
      {"[computer A]\nevents = System 3000000\n", "line 2: bad value for \"events\": System 3000000"},
      {"[messages ../x]\n", "line 1: \"../x\" is no DLL name (no path, no extension)"},
      {"[event System]\nid = 1\n", "an event of System has no source"},
      {"[event System]\nsource = S\n", "an event of System names the undeclared source \"S\""},
      {"[source System S]\nevents = nothere\n", "source \"S\" names undeclared messages \"nothere\""},
      {source + "[event System]\nsource = S\nstrings = {nolist}\n",
       "an event of System draws from an undeclared word list: {nolist}"},
      {"[computer A]\nevents = Security 1\n", "A wants Security records, but no [event Security] is declared"},
      {"[computer A]\naudit = +RLfupsg\n", "line 2: bad value for \"audit\": +RLfupsg"},
      {std::string("[lab]\n\0", 7), "line 2: a NUL byte"},
      {"[computer A]\naccounts = anna, Anna\n", "line 2: bad value for \"accounts\": anna, Anna"},
      {"[computer A]\naccounts = guest\n", "line 2: bad value for \"accounts\": guest"},
      {source + "[event System]\nsource = S\nstrings = a | b\nuser = string:3\n",
       "an event of System takes its user from string 3, which it lacks"},
      {source + "[event System]\nsource = S\nstrings = a | b\nuser = string:0x3\n",
       "an event of System takes its user from string 0x3, which it lacks"},
  };
  for (const Case& c : cases) {
    hostkit::LabDescription lab;
    std::string error;
    EXPECT_FALSE(hostkit::ParseLabDescription(c.text, lab, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
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

// Lab descriptions: the demo lab reads as described, and each kind of broken line is refused
// with its number and the reason.
#include <gtest/gtest.h>

#include "tests/support/temp_network.h"
#include "tools/hostkit/lab_description.h"

namespace {

TEST(LabDescriptionTest, TheDemoLabReadsAsDescribed) {
  hostkit::LabDescription lab;
  std::string error;
  ASSERT_TRUE(hostkit::ParseLabDescription(TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/examples/lab/lab.txt"), lab, error))
      << error;
  ASSERT_EQ(lab.computers.size(), 6u);
  std::map<std::string, std::string> roles;
  for (const auto& c : lab.computers) roles[c.host.role] += c.name + (c.host.online ? "" : "(off)") + " ";
  EXPECT_EQ(roles["pdc"], "LABDC1 ");
  EXPECT_EQ(roles["bdc"], "LABDC2 ");
  EXPECT_EQ(roles["server"], "FILESRV MAILSRV(off) ");
  EXPECT_EQ(roles["workstation"], "WKS01 WKS02 ");
  EXPECT_EQ(lab.computers[5].host.deny, std::set<std::string>{"eventlog:Security"});
  EXPECT_EQ(lab.computers[4].recordName, "OLDPC07");
  EXPECT_EQ(lab.computers[0].audit, "+RLfupsg -rlfupsG");
  EXPECT_EQ(lab.start, 1763969400u);  // 2025-11-24 07:30:00 UTC
  EXPECT_EQ(lab.logSize, 1024u * 1024u);
}

TEST(LabDescriptionTest, BrokenDescriptionsAreRefusedWithTheirReason) {
  const std::string source = "[source System S]\nevents = m\n[messages m]\nfile = m.mc\n";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"seed = 1\n", "line 1: \"seed\" before any section"},
      {"[lab]\nstart = 2025-13-01 00:00:00\n", "line 2: bad value for \"start\": 2025-13-01 00:00:00"},
      {"[lab]\nlog-size = 100K\n", "line 2: bad value for \"log-size\": 100K"},
      {"[lab]\ngap = 9-3\n", "line 2: bad value for \"gap\": 9-3"},
      {"[computer A]\n[computer a]\n", "line 2: computer a is described twice"},
      {"[computer TOO-LONG-A-NAME-X]\n", "line 1: \"TOO-LONG-A-NAME-X\" is no computer name (1 to 15 characters)"},
      {"[computer A]\nevents = System 3000000\n", "line 2: bad value for \"events\": System 3000000"},
      {"[computer A]\ncolour = red\n", "line 2: unknown key \"colour\""},
      {"[source Other S]\n", "line 1: a source belongs to System, Security or Application"},
      {"[messages ../x]\n", "line 1: \"../x\" is no DLL name (no path, no extension)"},
      {"[event System]\nid = 1\n", "an event of System has no source"},
      {"[event System]\nsource = S\n", "an event of System names the undeclared source \"S\""},
      {"[source System S]\nevents = nothere\n", "source \"S\" names undeclared messages \"nothere\""},
      {source + "[event System]\nsource = S\nstrings = {nolist}\n",
       "an event of System draws from an undeclared word list: {nolist}"},
      {"[computer A]\nevents = Security 1\n", "A wants Security records, but no [event Security] is declared"},
      {"[lab]\nseed\n", "line 2: expected \"key = value\""},
      {"[words computer]\n", "line 1: {computer} is the lab's own"},
      {std::string("[lab]\n\0", 7), "line 2: a NUL byte"},
  };
  for (const Case& c : cases) {
    hostkit::LabDescription lab;
    std::string error;
    EXPECT_FALSE(hostkit::ParseLabDescription(c.text, lab, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

}  // namespace

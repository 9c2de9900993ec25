// Lab descriptions: each kind of broken description is refused with the line and the reason
// (the demo lab itself is built by the gather tests and the demo).
#include <gtest/gtest.h>

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

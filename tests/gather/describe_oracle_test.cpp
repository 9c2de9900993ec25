// End to end against an independent reader: an image made with hostkit (message DLLs from .mc
// files, sources in the registry, records in the System log; golden/oracle/ holds them); the
// descriptions and categories of "hostkit events --describe" must match what libevt's
// evtexport resolves from the same hives, DLLs and .evt file. (Texts with "%%" are left out: the row keeps it, as FormatMessageA
// does with FORMAT_MESSAGE_IGNORE_INSERTS, while evtexport prints a single "%".)
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

const std::string kHostkit = TALLYARD_BINARY_DIR "/tools/hostkit/hostkit";

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  int rc = RunTool(command, &out);
  if (status) *status = rc;
  return out;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// Line ends and trailing blanks aside, the texts must be equal.
std::string Normal(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\r') out.push_back(c);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

TEST(DescribeOracleTest, DescriptionsMatchEvtexport) {
  if (RunTool("command -v evtexport") != 0) GTEST_SKIP() << "libevt-utils not installed";
  TempNetwork net;
  const std::string h = kHostkit + " --network " + net.network() + " ";
  const std::string dir = net.root() + "/", golden = TALLYARD_SOURCE_DIR "/tests/gather/golden/oracle/";
  int rc = 0;
  std::string out = Shell(h + "create SRV1", &rc);
  ASSERT_EQ(rc, 0) << out;
  // The message files, the sources in the registry and the records, as steps.txt lists them.
  std::istringstream steps(TempNetwork::ReadFile(golden + "steps.txt"));
  for (std::string cmd; std::getline(steps, cmd);) {
    for (size_t at; (at = cmd.find("{d}")) != std::string::npos;) cmd.replace(at, 3, dir);
    for (size_t at; (at = cmd.find("{g}")) != std::string::npos;) cmd.replace(at, 3, golden);
    out = Shell(h + cmd, &rc);
    ASSERT_EQ(rc, 0) << cmd << ": " << out;
  }
  std::string ours = Shell(h + "events SRV1 System --describe", &rc);
  ASSERT_EQ(rc, 0) << ours;
  const std::string config = net.network() + "/SRV1/C/WINNT/System32/config";
  const auto theirs = Evtexport("-r " + config + " -p " + net.network() + "/SRV1/C " + config + "/SysEvent.Evt");
  const auto rows = TabLines(ours);
  ASSERT_EQ(rows.size(), 5u) << ours;
  ASSERT_EQ(theirs.size(), 5u);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(ours);
    const std::string& category = theirs[i].category;
    ASSERT_GE(rows[i].size(), 4u);
    const std::string& ourCategory = rows[i][rows[i].size() - 4];
    EXPECT_EQ(Normal(Unescape(rows[i].back())), Normal(theirs[i].message)) << "record " << i + 1;
    // evtexport writes "name (n)" for a category it found and "n" otherwise.
    if (category.find('(') != std::string::npos)
      EXPECT_EQ(ourCategory + category.substr(category.rfind(" (")), category);
    else
      EXPECT_EQ(ourCategory, "None");
  }
}

}  // namespace

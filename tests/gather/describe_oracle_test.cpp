// End to end against an independent reader: an image made with hostkit (message DLLs from .mc
// files, sources in the registry, records in the System log); the descriptions and categories
// of "hostkit events --describe" must match what libevt's evtexport resolves from the same
// hives, DLLs and .evt file. (Texts with "%%" are left out: the row keeps it, as FormatMessageA
// does with FORMAT_MESSAGE_IGNORE_INSERTS, while evtexport prints a single "%".)
#include <gtest/gtest.h>

#include <map>
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
  const std::string dir = net.root() + "/";
  TempNetwork::WriteFile(dir + "svc.mc",
                         "MessageId=7000\nSeverity=Error\nLanguage=English\n"
                         "The %1 service failed to start due to the following error: %n%2\n.\n"
                         "MessageId=7036\nSeverity=Informational\nLanguage=English\nThe %1 service entered the %2 state.\n.\n"
                         "MessageId=7035\nLanguage=English\nThe %1 service was sent a %2 control.\n.\n"
                         "MessageId=20\nLanguage=English\nTabs%tand line%nends.\n.\n");
  TempNetwork::WriteFile(dir + "more.mc", "MessageId=9\nLanguage=English\nFrom the second file: %1, caf\xC3\xA9.\n.\n");
  TempNetwork::WriteFile(dir + "cat.mc", "MessageId=1\nLanguage=English\nLogon/Logoff\n.\nMessageId=2\nLanguage=English\nPolicy Change\n.\n");
  TempNetwork::WriteFile(dir + "src.reg",
                         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Service Control Manager]\n"
                         "\"EventMessageFile\"=\"%SystemRoot%\\\\System32\\\\svcmsg.dll;%SystemRoot%\\\\System32\\\\more.dll\"\n"
                         "\"CategoryMessageFile\"=\"%SystemRoot%\\\\System32\\\\catmsg.dll\"\n\n"
                         // evtexport cannot open a hive whose root has a single key.
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\n");
  int rc = 0;
  std::string out = Shell(h + "create SRV1", &rc);
  ASSERT_EQ(rc, 0) << out;
  for (const char* step : {"msgdll {d}svc.dll {d}svc.mc", "msgdll {d}more.dll {d}more.mc --ansi",
                           "msgdll {d}cat.dll {d}cat.mc --pe32plus", "put SRV1 C:\\\\WINNT\\\\System32\\\\svcmsg.dll {d}svc.dll",
                           "put SRV1 C:\\\\WINNT\\\\System32\\\\more.dll {d}more.dll",
                           "put SRV1 C:\\\\WINNT\\\\System32\\\\catmsg.dll {d}cat.dll", "reg import SRV1 {d}src.reg"}) {
    std::string cmd = step;
    for (size_t at; (at = cmd.find("{d}")) != std::string::npos;) cmd.replace(at, 3, dir);
    out = Shell(h + cmd, &rc);
    ASSERT_EQ(rc, 0) << cmd << ": " << out;
  }
  const char* scm = "--source 'Service Control Manager' ";
  for (std::string event : {std::string(scm) + "--id 0xC0001B58 --type 1 --category 1 --string Alerter --string 'No such file.'",
                            std::string(scm) + "--id 0x40001B7C --type 4 --category 2 --string Spooler --string running",
                            std::string(scm) + "--id 7035 --type 4 --string Browser --string start",
                            std::string(scm) + "--id 9 --type 2 --string x",
                            std::string(scm) + "--id 20 --type 4"}) {
    out = Shell(h + "event SRV1 System " + event, &rc);
    ASSERT_EQ(rc, 0) << out;
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

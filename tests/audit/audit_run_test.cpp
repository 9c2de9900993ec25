// The audit run behind a window-less progress window: complete, cancelled before the first
// computer or during the last, and with a worker that cannot be started; each ends in its report.
#include "audit/audit_run.h"

#include <gtest/gtest.h>

#include <regex>

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/core/threads.h"
#include "programs/praxon/strings.h"
#include "tests/platform/lsa/lsa_support.h"
#include "tests/support/run_window.h"
#include "tests/support/golden.h"

namespace {

enum class Cancel { Never, BeforeFirst, DuringLast };

// Cancel pressed where the case says.
struct AuditWindows : WindowlessRun {
  Cancel cancel = Cancel::Never;
  void SetText(const std::string& text) override {
    WindowlessRun::SetText(text);
    if (cancel == Cancel::DuringLast && text == "SRV3") CancelRequested = 1;
  }
  void ShowProgress(HWND owner, const RunWindowSteps& steps) override {
    RunWindowSteps mine = steps;
    mine.start = [&](RunProgress& progress) {
      CancelRequested = cancel == Cancel::BeforeFirst;
      steps.start(progress);
    };
    WindowlessRun::ShowProgress(owner, mine);
  }
};

// Restores the process-wide state the run uses, however the test ends.
struct RunState {
  AuditWindows windows;
  RunState() { SetRunWindows(&windows), SetStringTable(praxonStrings); }
  ~RunState() { SetRunWindows(nullptr), computerList.Clear(), runLog = RunLog{}, policySettings = PolicySettings{}; }
};

TEST(AuditRunTest, ReportsWhatTheRunReachedAndHostkitShowsIt) {
  TempNetwork net;
  RunState state;
  platform::HostInfo denied;
  denied.deny = {"lsa-open"};
  AddPolicyComputer(net, "SRV1", Lay(std::string("\x01\0\0\0", 4), {0, 0, 0, 0, 0, 0, 0}));
  AddPolicyComputer(net, "SRV2", kNt4AuditAll, denied);
  AddPolicyComputer(net, "SRV3", kNt4AuditAll);
  for (const GoldenCase& c : ReadGolden("audit/golden/audit_run.txt")) {
    SCOPED_TRACE(c.name);
    computerList.Clear();  // as Go leaves it: three of five selected, one with an earlier run's text
    for (const char* name : {"SRV1", "IDLE", "SRV2", "SRV3", "LATE"}) {
      computerList.Append(MakeRecordFromName(name));
      computerList[computerList.Count() - 1].selected = name[0] == 'S';
    }
    CopyText(computerList[0].policyText, sizeof computerList[0].policyText, "+rlfupsg -rlfupsg");
    policySettings.successChoices[0] = AuditChoice::On;  // the rest Unchanged, auditing on
    runLog = RunLog{net.root() + "/audit.log", nullptr, static_cast<int32_t>(c.Number("level")), Overwrite};
    const std::string cancel = c.Get("cancel");
    state.windows.cancel = cancel == "during last" ? Cancel::DuringLast : cancel == "before first" ? Cancel::BeforeFirst : Cancel::Never;
    if (c.Has("noworker")) platform::testing::FailThreadStarts(1);
    AuditRun(nullptr);
    const std::string report = TempNetwork::ReadFile(runLog.fileName);
    EXPECT_TRUE(std::regex_search(report, std::regex("^={31}\n[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9:]{8} Operation completed\nDescr")));
    EXPECT_EQ(report.substr(report.find("Descr")), c.Get("report"));
    EXPECT_EQ(state.windows.texts.size(), c.Number("shown"));
    EXPECT_EQ(CancelRequested.load(), 0);  // a Cancel during the last is taken up before LATE
  }
  std::string out;
  EXPECT_EQ(RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " policy SRV1 --network " + Quoted(net.network()), &out), 0);
  EXPECT_EQ(out, "+Rlfupsg -rlfupsg\n");
}

}  // namespace

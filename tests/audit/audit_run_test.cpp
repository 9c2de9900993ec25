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
#include "tests/support/gather_support.h"

namespace {

enum class Cancel { Never, BeforeFirst, DuringLast };

// Cancel pressed where the case says.
struct AuditWindows : gathertest::WindowlessRun {
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
  const std::string reached = "Success\tSRV1\tOPERATION COMPLETED\t0\t+Rlfupsg -rlfupsg\nError\tSRV2\tPOLICY NOT SET\t5\t"
                              "Unknown\nSuccess\tSRV3\tOPERATION COMPLETED\t0\t+RLFUPSG -RLFUPSG\n";
  const std::string none = "Error\tSRV1\tOPERATION CANCELLED\t0\t+rlfupsg -rlfupsg\nError\tSRV2\tOPERATION CANCELLED\t"
                           "0\t\nError\tSRV3\tOPERATION CANCELLED\t0\t\n";
  const struct {
    Cancel cancel;
    bool noWorker;
    int32_t level;
    const std::string& body;
    int errors;
  } cases[] = {{Cancel::Never, false, ErrorLogOnly, reached, 1}, {Cancel::DuringLast, false, FullLog, reached, 1},
               {Cancel::BeforeFirst, false, FullLog, none, 3}, {Cancel::Never, true, FullLog, none, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    computerList.Clear();  // as Go leaves it: three of five selected, one with an earlier run's text
    for (const char* name : {"SRV1", "IDLE", "SRV2", "SRV3", "LATE"}) {
      computerList.Append(MakeRecordFromName(name));
      computerList[computerList.Count() - 1].selected = name[0] == 'S';
    }
    CopyText(computerList[0].policyText, sizeof computerList[0].policyText, "+rlfupsg -rlfupsg");
    policySettings.successChoices[0] = AuditChoice::On;  // the rest Unchanged, auditing on
    runLog = RunLog{net.root() + "/audit.log", nullptr, c.level, Overwrite};
    state.windows.cancel = c.cancel;
    if (c.noWorker) platform::testing::FailThreadStarts(1);
    AuditRun(nullptr);
    const std::string report = TempNetwork::ReadFile(runLog.fileName), bar = std::string(31, '=') + "\n";
    EXPECT_TRUE(std::regex_search(report, std::regex("^={31}\n[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9:]{8} Operation completed\n")));
    EXPECT_EQ(report.substr(report.find("Descr")), "Descr\tComputerName\tOperation\tErrorCode\tCurrentPolicy\n" + bar + c.body +
                                                      "\n" + bar + "Processed\t3\nErrors\t" + std::to_string(c.errors) + "\n\n");
    EXPECT_EQ(state.windows.texts.size(), &c.body == &reached ? 3u : 0u);
    EXPECT_EQ(CancelRequested.load(), 0);  // a Cancel during the last is taken up before LATE
  }
  std::string out;
  EXPECT_EQ(RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " policy SRV1 --network " + Quoted(net.network()), &out), 0);
  EXPECT_EQ(out, "+Rlfupsg -rlfupsg\n");
}

}  // namespace

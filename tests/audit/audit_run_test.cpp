// The audit run behind a window-less progress window: complete, cancelled before the first
// computer or during the last, and with a worker that cannot be started; each ends in its report.
#include "audit/audit_run.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/run_progress.h"
#include "frame/settings.h"
#include "platform/core/threads.h"
#include "programs/praxon/strings.h"
#include "tests/platform/lsa/lsa_support.h"
#include "tests/support/tool_run.h"

namespace {

enum class Cancel { Never, BeforeFirst, DuringLast };

// Dialog 111 without a window: Cancel pressed where the case says, and the worker's Done()
// held until the report is written on this (the user interface) thread.
class FakeRunWindows : public RunWindows, public RunProgress {
 public:
  Cancel cancel = Cancel::Never;
  std::vector<std::string> shown;  // static 1025, in order
  HWND Owner() override { return nullptr; }
  void SetText(const std::string& text) override {
    shown.push_back(text);
    if (cancel == Cancel::DuringLast && text == "SRV3") CancelRequested = 1;
  }
  void SetRange(uint32_t) override {}
  void SetPosition(uint32_t) override {}
  void Done() override {
    std::unique_lock lock(mutex_);
    done_ = true;
    changed_.notify_all();
    if (std::this_thread::get_id() != ui_) changed_.wait(lock, [&] { return closed_; });
  }
  void ShowProgress(HWND, const RunWindowSteps& steps) override {
    ui_ = std::this_thread::get_id();
    done_ = closed_ = false;
    CancelRequested = cancel == Cancel::BeforeFirst;
    steps.start(*this);
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(60), [&] { return done_; }));
    steps.finish();
    closed_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id ui_;
  bool done_ = false, closed_ = false;
};

// Restores the process-wide state the run uses, however the test ends.
struct RunState {
  FakeRunWindows windows;
  RunState() {
    SetRunWindows(&windows);
    SetStringTable(praxonStrings);
  }
  ~RunState() {
    SetRunWindows(nullptr);
    computerList.Clear();
    runLog = RunLog{};
    policySettings = PolicySettings{};
  }
};

TEST(AuditRunTest, ReportsWhatTheRunReachedAndTheHivesShowIt) {
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
    state.windows.shown.clear();
    if (c.noWorker) platform::testing::FailThreadStarts(1);
    AuditRun(nullptr);
    const std::regex stamp("^={31}\n[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} Operation completed\nDescr");
    const std::string report = TempNetwork::ReadFile(runLog.fileName);
    EXPECT_TRUE(std::regex_search(report, stamp)) << report;
    EXPECT_EQ(report.substr(report.find("Descr")), "Descr\tComputerName\tOperation\tErrorCode\tCurrentPolicy\n" + std::string(31, '=') +
                                                      "\n" + c.body + "\n" + std::string(31, '=') + "\nProcessed\t3\nErrors\t" +
                                                      std::to_string(c.errors) + "\n\n");
    EXPECT_EQ(state.windows.shown.size(), &c.body == &reached ? 3u : 0u);
    EXPECT_EQ(CancelRequested.load(), 0);  // a Cancel during the last is taken up before LATE
  }
  std::string out;
  EXPECT_EQ(RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " policy SRV1 --network " + Quoted(net.network()), &out), 0);
  EXPECT_EQ(out, "+Rlfupsg -rlfupsg\n");
  if (!HaveTool("regfexport") || !HaveTool("hivexregedit")) GTEST_SKIP() << "libregf-utils or libhivex-bin missing";
  const std::string hive = Quoted(net.network() + "/SRV1/C/WINNT/System32/config/SECURITY");
  EXPECT_EQ(RunTool("regfexport " + hive, &out), 0) << out;
  EXPECT_EQ(RunTool("hivexregedit --export " + hive + " '\\'", &out), 0) << out;
}

}  // namespace

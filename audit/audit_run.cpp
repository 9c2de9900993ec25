#include "audit/audit_run.h"

#include <string>

#include "audit/audit_policy.h"
#include "audit/audit_report.h"
#include "frame/computer_list.h"
#include "frame/run_progress.h"
#include "frame/settings.h"
#include "frame/strings.h"
#include "platform/core/threads.h"

namespace {

// The running worker; its handle is closed when the window finishes the run.
HANDLE workerThread = nullptr;

DWORD AuditWorker(LPVOID param) {
  RunProgress& progress = *static_cast<RunProgress*>(param);
  for (auto& record : computerList) {
    // Tested before every record, selected or not; the computer in hand always finishes first.
    if (CancelRequested.exchange(0) != 0) break;
    if (!record.selected) continue;
    const std::string name = record.name;
    progress.SetText(name);
    const DWORD rc = ApplyAuditPolicy(name.c_str(), policySettings, record.policyText);
    ResultSlot& slot = record.results[0];
    slot.errorCode = static_cast<int32_t>(rc);
    slot.status = rc == ERROR_SUCCESS ? IDS_COMPLETED : IDS_POLICY_NOT_SET;
  }
  // Blocks until the window has written the report: the records are no longer ours after this.
  progress.Done();
  return 0;
}

}  // namespace

void AuditRun(HWND owner) {
  for (auto& record : computerList) {
    if (!record.selected) continue;
    record.results[0].errorCode = 0;
    record.results[0].status = IDS_OPERATION_CANCELLED;
  }
  RunWindowSteps steps;
  steps.start = [](RunProgress& progress) {
    workerThread = CreateThread(nullptr, 0, AuditWorker, &progress, 0, nullptr);
    // Without a worker no Done() would ever come and the window would wait for good.
    if (!workerThread) progress.Done();
  };
  steps.finish = [] {
    if (workerThread) CloseHandle(workerThread);
    workerThread = nullptr;
    WriteAuditReport();
  };
  if (RunWindows* windows = GetRunWindows()) {
    windows->ShowProgress(owner, steps);
  } else {
    steps.finish();
  }
}

#include "gather/unattended_run.h"

#include <unistd.h>

#include <cstdio>

#include "frame/app_state.h"
#include "frame/computer_list.h"
#include "frame/list_file.h"
#include "frame/settings.h"
#include "gather/gather_report.h"
#include "gather/gather_run.h"

namespace {

// Exit codes of a run that could not start, for the scheduler that started it.
constexpr int kNoListFile = 2;
constexpr int kNotInstalled = 3;
constexpr int kListUnreadable = 4;

DWORD TimeOutMs(DWORD minutes) {
  const unsigned long long ms = static_cast<unsigned long long>(minutes) * 60000ull;
  return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

}  // namespace

UnattendedEnd GatherUnattended(DWORD waitMs, DWORD graceMs) {
  StartGatherRun(nullptr);
  UnattendedEnd end = UnattendedEnd::Finished;
  if (GatherThread) {
    DWORD wait = WaitForSingleObject(GatherThread, waitMs);
    if (wait == WAIT_TIMEOUT) {
      // A thread cannot be stopped safely from outside: it is asked to stop at its next record,
      // which rolls back what it has not committed.
      CancelRequested = 1;
      end = UnattendedEnd::Stopped;
      wait = WaitForSingleObject(GatherThread, graceMs);
    }
    if (wait == WAIT_TIMEOUT) {
      AbandonGatherRun();
      end = UnattendedEnd::Abandoned;
    } else {
      if (wait != WAIT_FAILED) CloseHandle(GatherThread);
      GatherThread = nullptr;
    }
  }
  WriteGatherReport();
  return end;
}

int RunUnattended() {
  if (!LoadSettings()) {
    std::fprintf(stderr,
                 "corvane: not installed: HKEY_LOCAL_MACHINE\\%s has no \"InstallPath\" (run tallyard-setup)\n",
                 SettingsKey());
    return kNotInstalled;
  }
  if (appState.listFileName.empty()) {
    std::fprintf(stderr, "corvane: -S needs a list file: corvane -S FILE.imp\n");
    return kNoListFile;
  }
  if (!LoadListFile(appState.listFileName, false)) {
    std::fprintf(stderr, "corvane: cannot read the list file \"%s\" (missing, unreadable, not a file or too long)\n",
                 appState.listFileName.c_str());
    return kListUnreadable;
  }
  for (ComputerRecord& record : computerList) record.selected = 1;
  if (GatherUnattended(TimeOutMs(gatherSettings.timeOut), kUnattendedGraceMs) == UnattendedEnd::Abandoned) {
    // The report is written; the worker is still inside a database or platform call that
    // cannot be interrupted. The process ends under it: the database rolls back what the
    // worker had not committed.
    std::fflush(nullptr);
    ::_exit(0);
  }
  return 0;
}

#include "store/sourcewarden_start.h"

#include <string>

#include "frame/app_state.h"
#include "frame/message_box.h"
#include "frame/settings.h"
#include "frame/strings.h"
#include "platform/core/threads.h"
#include "store/data_source.h"

namespace {

bool ChildStillActive() {
  DWORD code = 0;
  return appState.childProcess && GetExitCodeProcess(appState.childProcess, &code) && code == STILL_ACTIVE;
}

}  // namespace

bool StartSourcewarden(HWND owner) {
  const std::string path = InstallFilePath(appState.installPath, kSourcewardenProgram);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &info)) {
    ShowSystemError(owner, "CreateProcess", GetLastError());
    ShowStringBox(owner, IDS_UNABLE_TO_LOAD_MANAGER);
    return false;
  }
  CloseHandle(info.hThread);
  // Only the latest manager is watched; an older one that has ended has nothing left to keep.
  if (appState.childProcess) CloseHandle(appState.childProcess);
  appState.childProcess = info.hProcess;
  return true;
}

bool AskForDataSource(HWND owner) {
  char text[260];
  LoadStringA(nullptr, IDS_SPECIFY_DATA_SOURCE, text, sizeof text);
  MessageBoxA(owner, text, "Warning", MB_ICONEXCLAMATION | MB_OK);
  return StartSourcewarden(owner);
}

bool SourcewardenRunning() {
  if (!appState.childProcess) return false;
  if (ChildStillActive()) return true;
  CloseHandle(appState.childProcess);
  appState.childProcess = nullptr;
  return false;
}

void EndChildProcess() {
  if (!ChildStillActive()) return;
  TerminateProcess(appState.childProcess, 0);
  CloseHandle(appState.childProcess);
  appState.childProcess = nullptr;
}

void PrepareDataSource(HWND mainDialog) {
  if (dataSourceSettings.dataSourceMissing) CreateDataSource();
  if (dataSourceSettings.dsn[0] == '\0') AskForDataSource(mainDialog);
}

#include "frame/entry.h"

#include "frame/command_line.h"
#include "platform/core/threads.h"

AppState appState;

int RunEntryPoint(const ProgramBinding& binding, int argc, const char* const* argv) {
  // Another instance holds the name: leave at once, silently.
  if (HANDLE other = OpenSemaphoreA(SYNCHRONIZE, FALSE, binding.semaphoreName)) {
    CloseHandle(other);
    return 0;
  }
  HANDLE instanceLock = CreateSemaphoreA(nullptr, 0, 1, binding.semaphoreName);
  if (instanceLock && GetLastError() == ERROR_ALREADY_EXISTS) {
    // Two starts at the same moment: both found no instance, the other one won the lock.
    CloseHandle(instanceLock);
    return 0;
  }

  SetStringTable(binding.strings);
  appState.program = binding.program;
  appState.childProcess = nullptr;

  if (binding.program == Program::Corvane) {
    CorvaneCommandLine cl = ParseCorvaneCommandLine(CommandTailFromArgs(argc, argv));
    appState.unattendedMode = cl.unattendedMode;
    appState.listFileName = cl.listFileName;
    if (appState.unattendedMode) {
      int code = binding.unattendedRun ? binding.unattendedRun() : 0;
      if (instanceLock) CloseHandle(instanceLock);
      return code;
    }
  }

  if (binding.mainWindow) binding.mainWindow();
  if (instanceLock) CloseHandle(instanceLock);
  return 0;
}

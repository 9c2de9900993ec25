// The entry point both programs share: the instance check, the command line, then the
// unattended run or the main window.
#pragma once

#include "frame/app_state.h"
#include "frame/strings.h"

struct ProgramBinding {
  Program program;
  const char* semaphoreName;  // "Tallyard" for Corvane, "Praxon" for Praxon
  StringTable strings;
  int (*unattendedRun)();     // Corvane's run from a list file; it ends the process
  int (*mainWindow)();        // the main window and its message loop
};

// Always returns 0, the exit code of both programs.
int RunEntryPoint(const ProgramBinding& binding, int argc, const char* const* argv);

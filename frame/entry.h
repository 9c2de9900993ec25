// The entry point both programs share: the instance check, the command line, then the
// unattended run or the main window.
#pragma once

#include "frame/app_state.h"
#include "frame/strings.h"

struct ProgramBinding {
  Program program;
  const char* semaphoreName;  // "Tallyard" for Corvane, "Praxon" for Praxon
  StringTable strings;
  int (*unattendedRun)();     // Corvane's run from a list file: its exit code
  int (*mainWindow)();        // the main window and its message loop
};

// The exit code: 0, but the unattended run's own code (not 0 when it could not start, so that
// a scheduler sees the failure). A second instance ends with 0.
int RunEntryPoint(const ProgramBinding& binding, int argc, const char* const* argv);

// Corvane's unattended run ("corvane -S list.imp"): the settings, the list file without type
// lookup, every computer selected, the gather bounded by the time-out, the report. It shows
// nothing and needs no display.
#pragma once

#include "platform/core/win32.h"

// How the wait for the worker ended.
enum class UnattendedEnd {
  Finished,   // the worker ended within the time-out
  Stopped,    // the time-out raised the cancel flag and the worker stopped within the grace
  Abandoned,  // the worker was still inside a call after the grace; GatherThread stays open
};

// The worker is given this long to stop at its next record once the time-out has passed.
constexpr DWORD kUnattendedGraceMs = 5000;

// Starts the gather over the list as it stands, waits at most `waitMs` (then raises the cancel
// flag and waits at most `graceMs` more) and writes the report from the slots as they stand.
UnattendedEnd GatherUnattended(DWORD waitMs, DWORD graceMs);

// The whole run, for the program's binding. Returns the exit code: 0 once a run took place (its
// report holds the outcome); when it cannot start, a code that is not 0 with the reason on
// standard error. A worker still inside a call after the grace ends with the process.
int RunUnattended();

// Praxon's one operation, "Set Audit Policy": the current PolicySettings applied to every selected
// computer of the list, one after another on a worker thread behind the progress window, which
// can be cancelled between computers; the report follows.
#pragma once

#include "platform/core/win32.h"

// Marks every selected record as not reached yet ("OPERATION CANCELLED", error code 0; the
// policy text keeps what it holds), runs the progress window over `owner` with the worker, and
// returns once the report is written. A worker that cannot be started ends the run at once, and
// so does a program with no progress window bound: the report then shows every selected
// computer as not reached.
void AuditRun(HWND owner);

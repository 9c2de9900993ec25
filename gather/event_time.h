// The two times of an event row: seconds since 1970-01-01 00:00:00 UTC as the event log keeps
// them, and the local time of the gathering machine as the database holds it.
#pragma once

#include <sql.h>

#include "platform/core/win32.h"

// Local time of `seconds`, with the daylight-saving rule in force at that date; fraction 1000.
TIMESTAMP_STRUCT FormatEventTime(DWORD seconds);

// The exact inverse of FormatEventTime: the offset from UTC is the one in force at the stamp's
// date (not today's), and a stamp in the hour that repeats when clocks go back gives the
// earlier of its two instants, so a resumed gather may store a record twice but never skips
// one. The fraction is ignored. A stamp that names no valid time gives 0 (everything is newer);
// one before 1970 gives 0 and one beyond the 32-bit range the largest value.
DWORD ParseStoredTime(const TIMESTAMP_STRUCT& stamp);

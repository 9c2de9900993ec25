// Corvane's confirmation before a gather (dialog 106, "Gather Event Logs").
#pragma once

#include "platform/core/win32.h"

// The names of the selected computers; OK is disabled when there are none. True for OK.
bool ConfirmGatherDialog(HWND owner);

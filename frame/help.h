// "&Help" of every window: the program's help file at a context number.
#pragma once

#include "platform/core/win32.h"

// Opens the help page of `context` from appState.helpFile. A page that cannot be shown gets a
// box that says which page and why, since nothing else would tell the user.
void ShowHelp(HWND owner, DWORD context);

// The frame's dialogs, opened modally over `owner` (a main window or another dialog).
#pragma once

#include "platform/core/win32.h"

// Dialog 104 "Options": the run log's file, level and mode; OK changes the run log in memory.
void OptionsDialog(HWND owner, DWORD helpContext);

// Dialog 200: the program's icon, appState.aboutText and the publisher's notice. Only OK ends it.
void AboutDialog(HWND owner, const char* title);

// Dialog 106 of either program: the names of the selected computers; OK is disabled when there
// are none. True for OK.
struct ConfirmDialogTexts {
  const char* title;     // "Gather Event Logs" / "Set Audit Policy"
  const char* text;      // the line above the list
  DWORD helpContext;
  bool closeBoxCancels;  // Corvane's close box cancels; Praxon's does nothing
};
bool ConfirmRunDialog(HWND owner, const ConfirmDialogTexts& texts);

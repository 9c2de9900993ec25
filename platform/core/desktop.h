// What Windows starts by name and its help viewer, served by the desktop's opener (xdg-open).
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/win32.h"

enum : UINT {
  SW_SHOWDEFAULT = 10,
  HELP_CONTEXT = 0x1,
};

// Starts a command line. "Notepad.exe <file>" (any case, with or without ".exe" or a folder)
// opens <file> in the desktop's text viewer: the whole rest of the line is the name, as Notepad
// takes it, and it goes through the platform's path function. Anything else starts as
// CreateProcessA starts a command line. More than 31 when started, else ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_BAD_FORMAT or 0, as WinExec answers.
UINT WinExec(LPCSTR commandLine, UINT showCommand);

// HELP_CONTEXT opens the page of context `data` in the desktop's browser. A help file is served
// from the folder "help" beside it, one page per context: help/<context>.html. FALSE with
// ERROR_FILE_NOT_FOUND when that page is missing, with the opener's code when it cannot be
// started; other commands answer ERROR_INVALID_PARAMETER.
BOOL WinHelpA(HWND window, LPCSTR helpFile, UINT command, std::uintptr_t data);

namespace platform {
// The page WinHelpA opens for `context` of `helpFile` (a native path; it may not exist).
std::string HelpPagePath(const char* helpFile, std::uintptr_t context);
}  // namespace platform

// Message boxes of the frame. The boxes themselves are drawn by whoever implements
// MessageBoxSink: the desktop UI, a recorder in tests, or nothing in an unattended run.
#pragma once

#include <string>

#include "platform/core/win32.h"

enum : UINT {
  MB_OK = 0x0,
  MB_ICONHAND = 0x10,
  MB_ICONEXCLAMATION = 0x30,
  IDOK = 1,
};

class MessageBoxSink {
 public:
  virtual ~MessageBoxSink() = default;
  // `caption` is null for the system's default caption.
  virtual int Show(HWND owner, const std::string& text, const char* caption, UINT type) = 0;
};

// Installs the sink (null restores the default, which writes the box to standard error).
void SetMessageBoxSink(MessageBoxSink* sink);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// String `id` of the program's table (or "Unknown Error" when there is none), formatted with
// the arguments, under the caption "Error!". The format is always the table's own text: text
// from outside only ever travels as an argument.
int ShowErrorBox(HWND owner, UINT id, ...);
int ShowWarningBox(HWND owner, UINT id, ...);

// The system's text for `code` under `caption`, with the stop icon.
int ShowSystemError(HWND owner, LPCSTR caption, DWORD code);

// Shows string `id` as it stands, with the stop icon and the default caption.
int ShowStringBox(HWND owner, UINT id);

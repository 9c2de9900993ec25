// What the frame's logic asks of the desktop user interface: the common file chooser and the
// wait cursor. The desktop binds an implementation; without one (the unattended run, tests of
// the logic) the chooser answers Cancel and the cursor stays as it is.
#pragma once

#include <string>

#include "platform/core/win32.h"

// The chooser's kinds: an open dialog for lists to import, save dialogs for exported lists and
// for the log file (any kind other than 1 and 2 is a log file).
enum ChooseFileKind : int { ImportListKind = 1, ExportListKind = 2, LogFileKind = 3 };

struct FileFilter {
  const char* description;  // "Import Files (*.imp;*.exp)"
  const char* pattern;      // "*.imp;*.exp"
  bool open;                // open (file and folder must exist) or save (asks before overwriting)
};

FileFilter FileFilterOf(int kind);

class FrameUi {
 public:
  virtual ~FrameUi() = default;
  // Shows the chooser with `name` as the initial text of its name field; on OK `name` holds the
  // chosen path. False when the user cancelled.
  virtual bool ChooseFile(HWND owner, const char* title, const FileFilter& filter, std::string& name) = 0;
  virtual void ShowWaitCursor() = 0;
  virtual void RestoreCursor() = 0;  // the cursor that was current when the main window was set up
};

void SetFrameUi(FrameUi* ui);
FrameUi* GetFrameUi();

// The common file dialog over a 260-byte buffer: its text is the initial name, and on OK it
// receives the chosen path. A path that does not fit the buffer is refused like a Cancel, since
// a cut path would name another file.
bool ChooseFile(HWND owner, const char* title, char* buffer, size_t bufferSize, int kind);

// The wait cursor for as long as the object lives.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  FrameUi* ui_;
};

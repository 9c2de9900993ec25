// The desktop user interface of both programs (Qt), as the programs and the logic see it: no
// toolkit type appears here. The unattended run never calls any of it.
#pragma once

#include "frame/main_window.h"

// Binds the frame's message boxes, file chooser, wait cursor and run windows to the desktop,
// shows the main window and runs its loop until Exit or the close box. Without a display it says
// so on standard error and returns at once. Always 0.
int RunMainWindow(const MainWindowBinding& binding);

// The bindings RunMainWindow makes, for a caller that has made its own application object
// (tests). Undone by UnbindDesktop.
void BindDesktop(const MainWindowBinding& binding);
void UnbindDesktop();

// The main window's list view: rebuilt from the computer list, and its selection copied into
// the records (before Export and Go). Nothing happens while no main window exists.
void RefillListView();
void SyncSelection();

// Icon 108 (XPM) of the running program.
void SetProgramIcon(const char* const* xpm);

// The separate data-source manager that Corvane starts from its install folder and watches,
// and the start-up steps that make sure a data source is named.
#pragma once

#include "platform/core/win32.h"

// The manager's file name in the install folder.
inline constexpr char kSourcewardenProgram[] = "sourcewarden";

// Starts the manager with no arguments and keeps its process in appState.childProcess. When it
// cannot be started: the system's text for the error under "CreateProcess", then "Unable to load
// Sourcewarden", both owned by `owner`; false.
bool StartSourcewarden(HWND owner);

// "You need to specify Data Source." under "Warning", then StartSourcewarden's result.
bool AskForDataSource(HWND owner);

// True while the manager this program started still runs. One that has ended is forgotten.
bool SourcewardenRunning();

// Exit and the close box: a manager still running is ended; one that has ended is left alone.
void EndChildProcess();

// The main window's start-up: creates the default data source while "DSN" is absent, then asks
// for one while no data source is named.
void PrepareDataSource(HWND mainDialog);

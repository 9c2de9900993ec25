// Praxon's main window: the shared window bound to the audit run and the Audit Policy dialog.
// A library of its own, so the window tests drive the program's own Go.
#pragma once

#include "frame/main_window.h"

extern const MainWindowBinding praxonMainWindow;

// Binds the browse's windows, then runs the main window.
int PraxonMainWindow();

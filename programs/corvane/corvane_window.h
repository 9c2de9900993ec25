// Corvane's main window: the shared window bound to the gather, its settings dialog and the
// data-source manager. A library of its own, so the window tests drive the program's own Go.
#pragma once

#include "frame/main_window.h"

extern const MainWindowBinding corvaneMainWindow;

// Binds the browse's and the data source's windows, then runs the main window.
int CorvaneMainWindow();

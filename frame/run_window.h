// The progress window of an interactive run (dialog 111 of either program) on the desktop.
#pragma once

#include <memory>

#include "frame/run_progress.h"

// Corvane's "Gathering in progress" has a bar; Praxon's "Operation in progress" has none.
std::unique_ptr<RunWindows> MakeDesktopRunWindows(const char* title, bool withBar);

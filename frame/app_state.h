// Process-wide state of the running program, owned by the entry point.
#pragma once

#include <string>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

enum class Program { Corvane, Praxon };

struct AppState {
  Program program = Program::Corvane;
  std::string aboutText;      // the program's name and version, shown in the About box
  HWND mainDialog = nullptr;  // set first thing when the main window is set up
  HINSTANCE instance = nullptr;
  bool unattendedMode = false;
  std::string listFileName;
  HANDLE childProcess = nullptr;  // the data-source manager Corvane started, if any
  std::string installPath;
  std::string helpFile;
};

extern AppState appState;

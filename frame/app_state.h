// Process-wide state of the running program, owned by the entry point.
#pragma once

#include <string>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

enum class Program { Corvane, Praxon };

struct AppState {
  Program program = Program::Corvane;
  HINSTANCE instance = nullptr;
  bool unattendedMode = false;
  std::string listFileName;
  HANDLE childProcess = nullptr;  // the data-source manager Corvane started, if any
  std::string installPath;
  std::string helpFile;
};

extern AppState appState;

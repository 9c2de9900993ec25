// The main window both programs share (dialog 100), as far as it is not drawing: what binds it
// to one program, and the decisions of its set-up and its commands.
#pragma once

#include "platform/core/win32.h"

struct MainWindowBinding {
  const char* title = "";                         // "Corvane" / "Praxon"
  const char* actionEntries[2] = {"", ""};        // the Action box: the run, then its settings dialog
  DWORD helpContext = 0;                          // "&Help" of the main window
  DWORD optionsHelpContext = 0;                   // "&Help" of the Options dialog
  const char* aboutTitle = "";                    // the About box's title
  const char* aboutText = "";                     // the program's name and version
  const char* const* icon = nullptr;              // icon 108, as XPM
  const char* progressTitle = "";                 // the run's progress window (dialog 111)
  bool progressBar = false;                       // Corvane's progress window has a bar, Praxon's none
  bool listFileAtStart = false;                   // Corvane fills the list from the command line's file
  bool centredTexts = false;                      // Praxon draws name and type unclipped, centred
  // Corvane's data source, right after the settings are loaded; null for none.
  void (*prepareDataSource)(HWND mainDialog) = nullptr;
  // Fills the process-wide list from the network (the browse).
  bool (*browseNetwork)() = nullptr;
  // Go, and the Action box's second entry.
  void (*go)(HWND mainDialog) = nullptr;
  void (*actionSettings)(HWND mainDialog) = nullptr;
  // What Exit and the close box end first (Corvane's data-source manager); null for nothing.
  void (*endChildProcess)() = nullptr;
};

// Set-up steps 6 to 8 (the settings, the data source, the list), before the list view is filled.
// False when the settings cannot be loaded: the box has been shown and the program ends.
bool StartMainWindow(const MainWindowBinding& binding, HWND mainDialog);

// Width of the "Type" column for a list view `listWidth` pixels wide.
int TypeColumnWidth(int listWidth);

// Exit ends the child and saves the settings; the close box only ends the child.
void ExitMainWindow(const MainWindowBinding& binding);
void CloseMainWindow(const MainWindowBinding& binding);

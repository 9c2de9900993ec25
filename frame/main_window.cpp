#include "frame/main_window.h"

#include "frame/app_state.h"
#include "frame/list_file.h"
#include "frame/message_box.h"
#include "frame/settings.h"
#include "frame/strings.h"

namespace {
constexpr int kComputerColumnWidth = 150;
constexpr int kNarrowTypeColumnWidth = 293;
}  // namespace

bool StartMainWindow(const MainWindowBinding& binding, HWND mainDialog) {
  appState.mainDialog = mainDialog;
  if (!LoadSettings()) {
    ShowErrorBox(mainDialog, IDS_NOT_INSTALLED);
    return false;
  }
  if (binding.prepareDataSource) binding.prepareDataSource(mainDialog);
  // The start-up list has no owner for its Loading dialog: the main window is not shown yet.
  if (binding.listFileAtStart && !appState.listFileName.empty()) {
    LoadListFile(appState.listFileName, true, nullptr);
  } else if (binding.browseNetwork) {
    binding.browseNetwork();
  }
  appState.aboutText = binding.aboutText ? binding.aboutText : "";
  return true;
}

int TypeColumnWidth(int listWidth) {
  return listWidth > kComputerColumnWidth ? listWidth - kComputerColumnWidth : kNarrowTypeColumnWidth;
}

void ExitMainWindow(const MainWindowBinding& binding) {
  if (binding.endChildProcess) binding.endChildProcess();
  // The data-source manager may have named another data source since Corvane last read one:
  // saving the values held here would put the old one back.
  if (appState.program == Program::Corvane) CheckDataSource();
  SaveSettings();  // a key that cannot be written loses the changes; nothing to tell at exit
}

void CloseMainWindow(const MainWindowBinding& binding) {
  if (binding.endChildProcess) binding.endChildProcess();
}

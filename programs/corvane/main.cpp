// Corvane: gathers the event logs of the selected computers into an ODBC database.

#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "frame/message_box.h"
#include "frame/settings.h"
#include "gather/confirm_gather_dialog.h"
#include "gather/gather_run.h"
#include "gather/unattended_run.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "store/data_source.h"
#include "store/sourcewarden_start.h"
#include "store/settings_dialog.h"

namespace {

void Go(HWND mainDialog) {
  // The data-source manager may have changed the values since the last run.
  if (!CheckDataSource()) {
    ShowStringBox(mainDialog, IDS_UNABLE_TO_READ_REGISTRY);
    return;
  }
  SyncSelection();
  if (!ConfirmGatherDialog(mainDialog)) return;
  StartGatherRun(mainDialog);
}

bool Browse() { return BrowseNetwork(); }

const MainWindowBinding kMainWindow{
    .title = "Corvane",
    .actionEntries = {"Gather Event Logs", "Gather Event Logs..."},
    .helpContext = 1001,
    .optionsHelpContext = 1002,
    .aboutTitle = "About Tallyard",
    .aboutText = "Corvane Version " TALLYARD_VERSION,
    .icon = corvane_icon_xpm,
    .progressTitle = "Gathering in progress",
    .progressBar = true,
    .listFileAtStart = true,
    .centredTexts = false,
    .prepareDataSource = PrepareDataSource,
    .browseNetwork = Browse,
    .go = Go,
    .actionSettings = SettingsDialog,
    .endChildProcess = EndChildProcess,
};

int MainWindow() {
  SetBrowseUi(DesktopBrowseUi());
  SetDataSourceUi(DesktopDataSourceUi());
  return RunMainWindow(kMainWindow);
}

}  // namespace

int main(int argc, char** argv) {
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Corvane, "Tallyard", corvaneStrings, RunUnattended, MainWindow};
  return RunEntryPoint(binding, argc, argv);
}

#include "programs/corvane/corvane_window.h"

#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "frame/list_file.h"
#include "frame/message_box.h"
#include "frame/settings.h"
#include "gather/confirm_gather_dialog.h"
#include "gather/gather_run.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "store/data_source.h"
#include "store/settings_dialog.h"
#include "store/sourcewarden_start.h"

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

}  // namespace

const MainWindowBinding corvaneMainWindow{
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

int CorvaneMainWindow() {
  SetBrowseUi(DesktopBrowseUi());
  SetDataSourceUi(DesktopDataSourceUi());
  return RunMainWindow(corvaneMainWindow);
}

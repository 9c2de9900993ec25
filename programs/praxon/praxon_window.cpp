#include "programs/praxon/praxon_window.h"

#include "audit/audit_policy_dialog.h"
#include "audit/audit_run.h"
#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "programs/praxon/praxon_icon.xpm"

namespace {

void Go(HWND mainDialog) {
  SyncSelection();
  if (!ConfirmAuditDialog(mainDialog)) return;
  AuditRun(mainDialog);
}

bool Browse() { return BrowseNetwork(); }

}  // namespace

const MainWindowBinding praxonMainWindow{
    .title = "Praxon",
    .actionEntries = {"Set Audit Policy", "Set Audit Policy..."},
    .helpContext = 1011,
    .optionsHelpContext = 1012,
    .aboutTitle = "About Praxon",
    .aboutText = "Praxon Version " TALLYARD_VERSION,
    .icon = praxon_icon_xpm,
    .progressTitle = "Operation in progress",
    .progressBar = false,
    .listFileAtStart = false,
    .centredTexts = true,
    .prepareDataSource = nullptr,
    .browseNetwork = Browse,
    .go = Go,
    .actionSettings = AuditPolicyDialog,
    .endChildProcess = nullptr,
};

int PraxonMainWindow() {
  SetBrowseUi(DesktopBrowseUi());
  return RunMainWindow(praxonMainWindow);
}

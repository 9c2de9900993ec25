// Praxon: sets the audit policy of the selected computers.
#include "audit/audit_policy_dialog.h"
#include "audit/audit_run.h"
#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "frame/program_help.h"
#include "programs/praxon/praxon_icon.xpm"
#include "programs/praxon/strings.h"

namespace {

void Go(HWND mainDialog) {
  SyncSelection();
  if (!ConfirmAuditDialog(mainDialog)) return;
  AuditRun(mainDialog);
}

bool Browse() { return BrowseNetwork(); }

const MainWindowBinding kMainWindow{
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

int MainWindow() {
  SetBrowseUi(DesktopBrowseUi());
  return RunMainWindow(kMainWindow);
}

constexpr char kHelp[] =
    "usage: praxon\n"
    "Sets one audit policy on many Windows NT computers at once: the computers of the domain are\n"
    "listed in its window, the policy is chosen in the Audit Policy dialog, and Go sets it on the\n"
    "selected ones and reports each computer's policy. It needs a display.\n"
    "\n"
    "Environment: TALLYARD_NETWORK (the network folder), COMPUTERNAME (this computer),\n"
    "XDG_RUNTIME_DIR (the instance lock).\n"
    "\n"
    "praxon --version prints the version; man praxon says more.\n";

}  // namespace

int main(int argc, char** argv) {
  if (int code = AnswerHelpOrVersion({"praxon", TALLYARD_VERSION, kHelp}, argc, argv); code >= 0) return code;
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Praxon, "Praxon", praxonStrings, nullptr, MainWindow};
  return RunEntryPoint(binding, argc, argv);
}

// Corvane: gathers the event logs of the selected computers into an ODBC database.

#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "frame/program_help.h"
#include "gather/unattended_run.h"
#include "programs/corvane/corvane_window.h"
#include "programs/corvane/strings.h"

namespace {

constexpr char kHelp[] =
    "usage: corvane [LIST]\n"
    "       corvane -S LIST\n"
    "Gathers the System, Security and Application event logs of Windows NT computers into an ODBC\n"
    "database, each log only as far as the database does not hold it yet.\n"
    "\n"
    "  LIST      a list file (one computer name at the start of each line): the window opens on\n"
    "            its computers instead of the domain's\n"
    "  -S LIST   the unattended run: gathers every computer of LIST without a window or display,\n"
    "            waits at most the time-out of the settings, writes the report to the run log\n"
    "            (Tallyard.log in the install folder) and ends\n"
    "\n"
    "Exit codes of -S: 0 a run took place (the report holds each log's outcome), 2 no list file\n"
    "named, 3 not installed (run tallyard-setup), 4 the list file cannot be read. A start while\n"
    "Corvane already runs ends at once with 0.\n"
    "\n"
    "Environment: TALLYARD_NETWORK (the network folder), COMPUTERNAME (this computer),\n"
    "ODBCSYSINI and ODBCINI (the ODBC configuration), XDG_RUNTIME_DIR (the instance lock).\n"
    "\n"
    "corvane --version prints the version; man corvane says more.\n";

}  // namespace

int main(int argc, char** argv) {
  if (int code = AnswerHelpOrVersion({"corvane", TALLYARD_VERSION, kHelp}, argc, argv); code >= 0) return code;
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Corvane, "Tallyard", corvaneStrings, RunUnattended, CorvaneMainWindow};
  return RunEntryPoint(binding, argc, argv);
}

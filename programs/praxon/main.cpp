// Praxon: sets the audit policy of the selected computers.
#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "frame/program_help.h"
#include "programs/praxon/praxon_window.h"
#include "programs/praxon/strings.h"

namespace {

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
  const ProgramBinding binding{Program::Praxon, "Praxon", praxonStrings, nullptr, PraxonMainWindow};
  return RunEntryPoint(binding, argc, argv);
}

// Corvane: gathers the event logs of the selected computers into an ODBC database.

#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "gather/unattended_run.h"
#include "programs/corvane/corvane_window.h"
#include "programs/corvane/strings.h"

int main(int argc, char** argv) {
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Corvane, "Tallyard", corvaneStrings, RunUnattended, CorvaneMainWindow};
  return RunEntryPoint(binding, argc, argv);
}

// Corvane: gathers the event logs of the selected computers into an ODBC database.
#include <cstdio>

#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "gather/unattended_run.h"
#include "programs/corvane/strings.h"

namespace {

int MainWindow() {
  std::fprintf(stderr, "corvane: the main window is not built yet\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Corvane, "Tallyard", corvaneStrings, RunUnattended, MainWindow};
  return RunEntryPoint(binding, argc, argv);
}

// Praxon: sets the audit policy of the selected computers.
#include <cstdio>

#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "programs/praxon/strings.h"

namespace {

int MainWindow() {
  std::fprintf(stderr, "praxon: the main window is not built yet\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Praxon, "Praxon", praxonStrings, nullptr, MainWindow};
  return RunEntryPoint(binding, argc, argv);
}

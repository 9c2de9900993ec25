// Praxon: sets the audit policy of the selected computers.
#include "browse/browse.h"
#include "frame/entry.h"
#include "frame/list_file.h"
#include "programs/praxon/praxon_window.h"
#include "programs/praxon/strings.h"

int main(int argc, char** argv) {
  SetTypeLookup(LookupComputerTypes);
  const ProgramBinding binding{Program::Praxon, "Praxon", praxonStrings, nullptr, PraxonMainWindow};
  return RunEntryPoint(binding, argc, argv);
}

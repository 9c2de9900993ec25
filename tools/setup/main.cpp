// tallyard-setup [--network DIR] [--computer NAME] [--install DIR] [--domain NAME] [--data-source]
// Prepares this computer for the programs the package installed: creates what they need and
// leaves what is already there. --data-source also adds the default data source and records it
// in the settings, as the first interactive start would, for installations that only ever run
// unattended.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "frame/settings.h"
#include "platform/core/network.h"
#include "store/data_source.h"
#include "tools/setup/installed_layout.h"
#include "tools/setup/setup_steps.h"

namespace {

constexpr char kUsage[] =
    "usage: tallyard-setup [--network DIR] [--computer NAME] [--install DIR] [--domain NAME] [--data-source]\n";

constexpr char kHelp[] =
    "Prepares this computer for Corvane and Praxon: the network folder, this computer's image in\n"
    "it (its registry holds the programs' settings), the install folder with the data-source\n"
    "manager and the help pages, the settings keys and the default SQLite database Tallyard.db.\n"
    "What exists is left as it is; a run that fails takes away what it made.\n"
    "\n"
    "  --network DIR   the network folder (default: TALLYARD_NETWORK, else\n"
    "                  ~/.local/share/tallyard/network)\n"
    "  --computer NAME this computer's name (default: COMPUTERNAME, else the host name)\n"
    "  --install DIR   the install folder (default: ~/.local/share/tallyard/install)\n"
    "  --domain NAME   the domain of this computer's image (default: WORKGROUP)\n"
    "  --data-source   also adds the ODBC data source \"Corvane\" on the default database, to\n"
    "                  the system's odbc.ini when run as root, else to ~/.odbc.ini (ODBCSYSINI and\n"
    "                  ODBCINI move them)\n"
    "\n"
    "Exit codes: 0 done, 1 a step failed (nothing of this run is left), 2 misused.\n"
    "tallyard-setup --version prints the version; man tallyard-setup says more.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

std::string DefaultInstallFolder() {
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) base = x;
  else if (const char* h = std::getenv("HOME"); h && *h) base = std::string(h) + "/.local/share";
  else base = "/tmp";
  return base + "/tallyard/install";
}

bool ValidComputerName(const std::string& name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x21 || std::string("\\/:*?\"<>|,;=+[]").find(c) != std::string::npos) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  SetupOptions options;
  std::string network, computer, install;
  bool dataSource = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return !out.empty();
    };
    bool ok;
    if (a == "--network") ok = value(network);
    else if (a == "--computer") ok = value(computer);
    else if (a == "--install") ok = value(install);
    else if (a == "--domain") ok = value(options.domain);
    else if (a == "--data-source") ok = dataSource = true;
    else if (a == "--help" || a == "-h") return std::printf("%s\n%s", kUsage, kHelp) < 0 ? 1 : 0;
    else if (a == "--version") return std::printf("tallyard-setup %s\n", TALLYARD_VERSION) < 0 ? 1 : 0;
    else ok = false;
    if (!ok) return Usage();
  }
  // Checked before anything is made: the platform would quietly cut a long name to 15.
  if (!computer.empty() && !ValidComputerName(computer)) {
    std::fprintf(stderr, "tallyard-setup: \"%s\" is no computer name (1 to 15 characters)\n", computer.c_str());
    return 2;
  }
  if (!network.empty()) ::setenv("TALLYARD_NETWORK", std::filesystem::absolute(network).c_str(), 1);
  if (!computer.empty()) ::setenv("COMPUTERNAME", computer.c_str(), 1);
  options.network = platform::NetworkFolder();
  options.computer = platform::LocalComputerName();
  if (!ValidComputerName(options.computer)) {
    std::fprintf(stderr, "tallyard-setup: \"%s\" is no computer name (1 to 15 characters)\n", options.computer.c_str());
    return 2;
  }
  options.install = std::filesystem::absolute(install.empty() ? DefaultInstallFolder() : install).lexically_normal().string();
  while (options.install.size() > 1 && options.install.back() == '/') options.install.pop_back();

  // What can be checked is checked before anything is made: a refusal leaves the machine as it was.
  std::string error;
  platform::DataSourceTarget odbcIni;
  if (!CheckDefaultDriver(&error) || (dataSource && !CheckDefaultDataSourceFile(odbcIni, &error))) {
    std::fprintf(stderr, "tallyard-setup: %s\n", error.c_str());
    return 1;
  }
  const std::string database = DefaultDatabasePath(options.install);
  SetupUndo undo;
  struct Step {
    std::function<void()> note;
    std::function<bool()> run;
  } steps[] = {
      {[&] { undo.NoteFolder(options.network); }, [&] { return CreateNetworkFolder(options, error); }},
      {[&] { undo.NoteFolder(options.network + "/" + options.computer); },
       [&] { return CreateLocalComputer(options, error); }},
      {[&] { undo.NoteFolder(options.install); }, [&] { return CreateInstallFolder(options, error); }},
      {[&] { undo.NoteFolder(options.install + "/help"); }, [&] { return CreateHelpPages(options, HelpPagesFolder(), error); }},
      {[&] {
         undo.NoteKey(kPraxonSettingsKey);
         for (const char* key : {kCorvaneSettingsKey, kPraxonSettingsKey}) undo.NoteValue(key, "InstallPath");
       },
       [&] { return CreateSettingsKeys(options, error); }},
      {[&] { undo.NoteFile(database); }, [&] { return CreateDefaultDatabase(options.install, &error); }},
      {[&] { if (dataSource) undo.NoteBytes(odbcIni.path); },
       [&] { return !dataSource || InstallDefaultDataSource(options.install, &error); }},
  };
  for (const auto& step : steps) {
    step.note();
    if (!step.run()) {
      undo.Run();
      std::fprintf(stderr, "tallyard-setup: %s\n", error.c_str());
      return 1;
    }
  }
  // Corvane's "Data source.." starts the manager from the install folder; an installation
  // without it still works, and Corvane then says it cannot start it.
  std::string managerNote;
  if (!InstallSourcewarden(options, SourcewardenProgram(), managerNote))
    std::fprintf(stderr, "tallyard-setup: note: %s\n", managerNote.c_str());
  std::printf("network folder   %s\ncomputer         %s\ninstall folder   %s\n", options.network.c_str(),
              options.computer.c_str(), options.install.c_str());
  if (dataSource) {
    std::printf("data source      %s (%s)\n", kDefaultDataSourceName, database.c_str());
    std::printf("written to       %s\n", DescribeDataSourceFile(odbcIni).c_str());
  }
  return 0;
}

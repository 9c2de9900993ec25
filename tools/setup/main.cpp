// tallyard-setup [--network DIR] [--computer NAME] [--install DIR] [--domain NAME] [--data-source]
// The installation: creates what the programs need and leaves what is already there.
// --data-source also adds the default data source and records it in the settings, as the first
// interactive start would, for installations that only ever run unattended.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/network.h"
#include "store/data_source.h"
#include "tools/setup/setup_steps.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tallyard-setup [--network DIR] [--computer NAME] [--install DIR] [--domain NAME] "
               "[--data-source]\n");
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
    else if (a == "--help" || a == "-h") return Usage(), 0;
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

  struct Step {
    const char* what;
    bool (*run)(const SetupOptions&, std::string&);
  } steps[] = {
      {"network folder", CreateNetworkFolder},
      {"this computer's image", CreateLocalComputer},
      {"install folder", CreateInstallFolder},
      {"help pages", CreateHelpPages},
      {"settings keys", CreateSettingsKeys},
      {"default database",
       [](const SetupOptions& o, std::string& e) { return CreateDefaultDatabase(o.install, &e); }},
  };
  for (const auto& step : steps) {
    std::string error;
    if (!step.run(options, error)) {
      std::fprintf(stderr, "tallyard-setup: %s\n", error.c_str());
      return 1;
    }
  }
  if (dataSource) {
    std::string error;
    if (!InstallDefaultDataSource(options.install, &error)) {
      std::fprintf(stderr, "tallyard-setup: %s\n", error.c_str());
      return 1;
    }
  }
  std::printf("network folder   %s\ncomputer         %s\ninstall folder   %s\n", options.network.c_str(),
              options.computer.c_str(), options.install.c_str());
  if (dataSource) std::printf("data source      %s (%s)\n", kDefaultDataSourceName, DefaultDatabasePath(options.install).c_str());
  return 0;
}

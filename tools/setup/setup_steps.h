// The steps of the installation, each one creating what is missing and leaving what exists,
// so that running the installation again changes nothing.
#pragma once

#include <string>

struct SetupOptions {
  std::string network;   // the network folder
  std::string computer;  // this computer's name
  std::string install;   // the install folder (absolute)
  std::string domain = "WORKGROUP";
};

// Each step returns true, or false with a message in `error`.
bool CreateNetworkFolder(const SetupOptions& options, std::string& error);
// This computer's image, readable by its owner only: the settings will hold a database password.
bool CreateLocalComputer(const SetupOptions& options, std::string& error);
bool CreateInstallFolder(const SetupOptions& options, std::string& error);
// The help pages in <install>/help, where the programs' help opens them; a page that differs
// from this version's is replaced.
bool CreateHelpPages(const SetupOptions& options, std::string& error);
// "SOFTWARE\Quillon\Tallyard\CurrentVersion" and its subkey "Praxon", each with "InstallPath".
bool CreateSettingsKeys(const SetupOptions& options, std::string& error);

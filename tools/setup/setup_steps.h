// The steps of the installation, each one creating what is missing and leaving what exists,
// so that running the installation again changes nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

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
// The data-source manager that Corvane starts from the install folder, copied there from
// `program` when it differs; nothing happens (and `error` says why) when `program` is missing.
bool InstallSourcewarden(const SetupOptions& options, const std::string& program, std::string& error);
// The help pages of the folder `pages` copied to <install>/help, where the programs' help opens
// them; a page that differs from this version's is replaced.
bool CreateHelpPages(const SetupOptions& options, const std::string& pages, std::string& error);
// "SOFTWARE\Quillon\Tallyard\CurrentVersion" and its subkey "Praxon", each with "InstallPath".
bool CreateSettingsKeys(const SetupOptions& options, std::string& error);

// What one run of the installation made, so that a run that fails takes it away again and
// leaves everything that was there before it. Each Note comes before the step that may make
// the thing noted.
class SetupUndo {
 public:
  // A folder, with the folders on the way to it that are missing.
  void NoteFolder(const std::string& path);
  void NoteFile(const std::string& path);
  // A key of this computer's image (given from its hive's name), with the keys on the way to it.
  void NoteKey(const std::string& keyPath);
  // A value of a key of this computer's image: put back as it was, or taken away.
  void NoteValue(const std::string& keyPath, const std::string& name);
  // A file whose bytes the run may change: they are put back, or the file goes if it was not there.
  void NoteBytes(const std::string& path);
  // Takes away what was noted, newest first.
  void Run();

 private:
  std::vector<std::function<void()>> undo_;
};

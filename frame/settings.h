// The settings of both programs, kept under their key of HKEY_LOCAL_MACHINE. The key is made
// by the installation; the programs read every value once at start (a missing one takes its
// default) and write them back at the moments their callers choose.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/win32.h"

// Corvane's data source, used by the event store and the data-source creation.
struct DataSourceSettings {
  char dsn[33] = {};
  char description[260] = {};
  DWORD dataSourceMissing = 0;
  DWORD type = 1;
  char user[260] = {};
  char password[260] = {};
  DWORD regAccess = 0;
};

// Corvane's gather settings.
struct GatherSettings {
  DWORD timeOut = 180;            // minutes the unattended run waits for its worker
  DWORD eraseLogs = 0;            // 1: clear each log after a complete gather
  DWORD transactionPeriod = 100;  // commit period in inserted rows
  DWORD loadDescriptions = 1;     // 1: message files of the remote computer, 0: of this one
};

extern DataSourceSettings dataSourceSettings;
extern GatherSettings gatherSettings;

// Praxon's choice for one category and direction. Values other than these three may come from
// the registry; they act as Unchanged.
enum class AuditChoice : int32_t { Off = 0, On = 1, Unchanged = 2 };

constexpr int kAuditCategoryCount = 7;

// Praxon's audit settings: what a run sets on every selected computer.
struct PolicySettings {
  int32_t auditingMode = 1;  // 0 "Do Not Audit", 1 "Audit These Events"
  AuditChoice successChoices[kAuditCategoryCount] = {AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged};
  AuditChoice failureChoices[kAuditCategoryCount] = {AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged, AuditChoice::Unchanged,
                                                     AuditChoice::Unchanged};
};

extern PolicySettings policySettings;

// Praxon's "TimeOut": loaded and saved, used by nothing (Corvane's is gatherSettings.timeOut).
extern DWORD praxonTimeOut;

// The program's key under HKEY_LOCAL_MACHINE (Corvane's ends in a backslash; Praxon's is its
// own subkey).
extern const char kCorvaneSettingsKey[];
extern const char kPraxonSettingsKey[];
const char* SettingsKey();  // the running program's (appState.program)

// Reads one value of the settings key into `buffer` (size in bytes): 0 or the registry's code.
// Corvane takes whatever is stored if it fits; Praxon also wants the expected type (REG_SZ or
// REG_DWORD) and answers ERROR_FILE_NOT_FOUND for any other. On failure the buffer is untouched.
LONG ReadSetting(const char* valueName, DWORD expectedType, void* buffer, DWORD bufferSize);

// Writes one value (strings with their NUL, DWORDs as 4 bytes); never creates the key.
bool WriteSetting(const char* valueName, DWORD type, const void* data, DWORD size);

// Reads every value of the program in order, with defaults; false only when "InstallPath" is
// missing (or the key is). Fills appState's install and help paths and the run log's settings,
// closing an open run log file first.
bool LoadSettings();

// Writes the program's values in order, stopping at the first that fails (false).
bool SaveSettings();

// Corvane: re-reads the data source values; false when any but "Type" is missing.
bool CheckDataSource();

// Install path + separator + file name: "/" after a native path ("/opt/tallyard"), "\" after a
// drive path, as stored ("C:\Tallyard\" gives two backslashes).
std::string InstallFilePath(const std::string& installPath, const char* fileName);

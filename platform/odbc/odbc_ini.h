// The ODBC drivers and data sources of this machine as unixODBC holds them: the drivers in the
// system folder's odbcinst.ini, the data sources in the system and the user odbc.ini (ODBCSYSINI,
// ODBCINSTINI and ODBCINI honoured, as the installer honours them). Changes go through the
// installer library. Reading goes to the files themselves, every time: the installer and the
// driver manager cache each value they read for the life of a process, so they miss what
// another program changed meanwhile.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

using IniEntries = std::vector<std::pair<std::string, std::string>>;

struct IniSection {
  std::string name;
  IniEntries entries;
};

// unixODBC's ini layout: "[name]" opens a section, "key = value" (split at the first "=", both
// sides trimmed) adds to it, a line whose first character is "#" or ";" is a comment. Other
// lines, and entries before the first section, are passed over. A section or key that comes
// again keeps its first, as the driver manager finds the first.
std::vector<IniSection> ParseOdbcIni(std::string_view text);

// The value of `key` (without regard to case) in `entries`; empty when it is not there.
std::string IniValue(const IniEntries& entries, std::string_view key);

enum class DataSourceScope { System, User };

struct OdbcDriver {
  std::string name;
  std::string library;      // "Driver=" as written
  std::string libraryPath;  // where the driver manager finds it; empty when it cannot
};

struct DataSourceEntry {
  std::string name;
  DataSourceScope scope = DataSourceScope::User;
  std::string driver;    // a driver's name or a library's path
  IniEntries attributes;  // every entry but "Driver", in file order
};

// The files behind each list.
std::string DriverFile();
std::string DataSourceFile(DataSourceScope scope);

std::vector<OdbcDriver> ListOdbcDrivers();
// System data sources first, then the user's; each in file order.
std::vector<DataSourceEntry> ListDataSources();

// Whether this process may change the data sources of `scope`: their file is writable, or it
// is missing and its folder is.
bool CanWriteDataSources(DataSourceScope scope);

// Writes `entry` to its scope's file through the installer, replacing a data source of that
// name there. False with the reason in `error`.
bool WriteDataSource(const DataSourceEntry& entry, std::string* error);

// Removes the data source `name` from the file of `scope`. False with the reason in `error`.
bool RemoveDataSource(const std::string& name, DataSourceScope scope, std::string* error);

}  // namespace platform

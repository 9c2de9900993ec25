// The default data source: the SQLite database Tallyard.db in the installation folder, reached
// through the data source "Corvane" and the driver "SQLite3".
#pragma once

#include <memory>
#include <string>

#include "frame/settings.h"
#include "platform/odbc/odbc_install.h"

inline constexpr char kDefaultDataSourceName[] = "Corvane";
inline constexpr char kDefaultDriver[] = "SQLite3";
inline constexpr char kDefaultDatabaseFile[] = "Tallyard.db";

// <install folder>/Tallyard.db
std::string DefaultDatabasePath(const std::string& installPath);

// Creates the default database file with the three log tables; tables that exist are kept
// with their rows. False with the reason in `error`.
bool CreateDefaultDatabase(const std::string& installPath, std::string* error);

// Adds the data source "Corvane" on the default database: a system data source where this
// user may write one, else a user one.
bool AddDefaultDataSource(const std::string& installPath);

// Checked before an installation makes anything: that the ODBC installer knows the default
// driver, and where the default data source would go (`file`), with the reason when no odbc.ini
// can be written there. False with the reason in `error`.
bool CheckDefaultDriver(std::string* error);
bool CheckDefaultDataSourceFile(platform::DataSourceTarget& file, std::string* error);

// "/etc/odbc.ini (a system data source)" or "/home/x/.odbc.ini (a user data source: ...)".
std::string DescribeDataSourceFile(const platform::DataSourceTarget& file);

// The data-source values that go with the default data source.
void SetDefaultDataSource(DataSourceSettings& settings);

// Dialog 115 ("Preparing Data Source..."), shown while the first start makes the data source.
// The desktop binds it; without a binding nothing is shown.
class PreparingWindow {
 public:
  virtual ~PreparingWindow() = default;  // closes the window
};
class DataSourceUi {
 public:
  virtual ~DataSourceUi() = default;
  // Shows the window, without owner, and paints it at once; null when it cannot be shown.
  virtual std::unique_ptr<PreparingWindow> ShowPreparing() = 0;
};
void SetDataSourceUi(DataSourceUi* ui);

// The program's first start: adds the default data source and, when that worked, sets the
// data-source values and writes all settings. The result is that of the data-source creation.
// Dialog 115 stays up a second first, so the user can read what happens.
bool CreateDataSource();

// The installation's unattended counterpart: adds the default data source and writes "DSN",
// "Type" and "Description" to the running program's settings key (which must exist). False
// with the reason in `error`.
bool InstallDefaultDataSource(const std::string& installPath, std::string* error);

// Whether `values` can be made Corvane's data source: the settings key is there, and a
// password would not be readable by others. False with the reason in `error`.
bool CanStoreDataSourceSettings(const DataSourceSettings& values, std::string* error);

// Makes `values` Corvane's data source: writes "DSN", "Type", "Description", "User", "Password"
// and "RegAccess" to the running program's settings key, which the installation made. A
// password is stored only where no other user can read it. False with the reason in `error`;
// a refusal found before the first write leaves the settings as they were.
bool StoreDataSourceSettings(const DataSourceSettings& values, std::string* error);

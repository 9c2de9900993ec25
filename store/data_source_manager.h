// The data sources that the data-source manager makes and edits: SQLite, PostgreSQL and
// MariaDB, each with its driver's own attribute names, and never with a password in odbc.ini
// (those files are often readable by everyone; the store logs in with the user and password of
// Corvane's settings). And the choice of one of them as Corvane's data source.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frame/settings.h"
#include "platform/odbc/odbc_ini.h"
#include "store/connection_check.h"
#include "store/schema.h"

struct DataSourceForm {
  DatabaseKind kind = DatabaseKind::Sqlite;
  std::string name{};
  std::string description{};
  platform::DataSourceScope scope = platform::DataSourceScope::User;
  std::string driver{};
  std::string file{};  // SQLite
  std::string server{}, port{}, database{}, user{};
  std::string password{};                  // for connecting only; never written to odbc.ini
  platform::IniEntries otherAttributes{};  // what the form does not show, kept as it was
};

// Which database a driver serves, told by its library's name, else by its own name.
std::optional<DatabaseKind> KindOfDriver(const platform::OdbcDriver& driver);
// The same for a data source, whose driver is a driver's name or a library's path.
std::optional<DatabaseKind> KindOfDataSource(const platform::DataSourceEntry& entry,
                                             const std::vector<platform::OdbcDriver>& drivers);

// An existing data source as a form; a password it keeps in its file comes along.
DataSourceForm FormOfEntry(const platform::DataSourceEntry& entry, DatabaseKind kind);
// Whether the entry keeps a password in its file.
bool KeepsPassword(const platform::DataSourceEntry& entry);

// The entry to write for the form: its kind's attribute names, the other attributes as they
// were, no password.
platform::DataSourceEntry EntryOfForm(const DataSourceForm& form);

// What stops the form's values from reaching a database; empty when nothing does.
std::string CheckFormValues(const DataSourceForm& form);
// What stops the form from being saved under its name, replacing `original` (null for a new
// data source) among `existing`; empty when nothing does.
std::string CheckFormName(const DataSourceForm& form, const platform::DataSourceEntry* original,
                          const std::vector<platform::DataSourceEntry>& existing);

// The connection string that reaches the form's database without a data source, with its
// user and password. A SQLite database file is never created by connecting.
std::string ConnectionString(const DataSourceForm& form);

// Creates the form's SQLite database file with the three log tables. False with the reason.
bool CreateDatabaseFile(const DataSourceForm& form, std::string* error);

// The user's message for a connection that did not come up, the driver's words last.
std::string DescribeConnectFailure(const DataSourceForm& form, const ConnectionCheck& check);
// The user's message for tables that are missing or unusable; empty when there are none.
std::string DescribeUnusableTables(const ConnectionCheck& check);

// Writes the form's data source; when it replaces `original` under another name or in the
// other file, that one is removed after the new one is written. An original that the form
// leaves as it was is not written again. False with the reason.
bool SaveDataSource(const DataSourceForm& form, const platform::DataSourceEntry* original, std::string* error);

// Corvane's data-source values for the form: "Type" is the kind, "RegAccess" 0 for a system
// and 1 for a user data source, "Description" the driver's name.
DataSourceSettings CorvaneSettingsOf(const DataSourceForm& form);

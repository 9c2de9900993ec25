#include "store/data_source.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "frame/app_state.h"
#include "platform/odbc/odbc_install.h"
#include "platform/registry/registry.h"
#include "store/odbc_result.h"
#include "store/schema.h"

std::string DefaultDatabasePath(const std::string& installPath) { return installPath + "/" + kDefaultDatabaseFile; }

bool CreateDefaultDatabase(const std::string& installPath, std::string* error) {
  std::string path = DefaultDatabasePath(installPath);
  // The connection string has no quoting the driver would honour for these two characters.
  if (path.find_first_of(";{}") != std::string::npos) {
    if (error) *error = "the database path must not contain ';', '{' or '}': " + path;
    return false;
  }
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
    if (error) *error = "no ODBC environment";
    return false;
  }
  SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  bool ok = false;
  if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
    if (error) *error = OdbcDiagnostics(SQL_HANDLE_ENV, environment);
  } else {
    std::string text = std::string("Driver=") + kDefaultDriver + ";Database=" + path + ";";
    SQLRETURN rc = SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                    nullptr, SQL_DRIVER_NOPROMPT);
    if (!OdbcSucceeded(rc)) {
      if (error) *error = OdbcDiagnostics(SQL_HANDLE_DBC, connection);
    } else {
      ok = RunSchemaScript(connection, SqliteSchema(), error);
      SQLDisconnect(connection);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
  }
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  return ok;
}

bool AddDefaultDataSource(const std::string& installPath) {
  // A write-ahead journal synced at every commit: each commit is on the disk when it returns,
  // with one sync where the driver's default rollback journal needs several.
  std::string attributes = std::string("DSN=") + kDefaultDataSourceName + '\0' + "Database=" +
                           DefaultDatabasePath(installPath) + '\0' + "JournalMode=WAL" + '\0' + "SyncPragma=FULL" +
                           '\0' + '\0';
  return SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDefaultDriver, attributes.c_str()) != FALSE;
}

void SetDefaultDataSource(DataSourceSettings& settings) {
  std::strncpy(settings.dsn, kDefaultDataSourceName, sizeof settings.dsn - 1);
  std::strncpy(settings.description, kDefaultDriver, sizeof settings.description - 1);
  settings.type = 1;
}

bool CreateDataSource() {
  if (!AddDefaultDataSource(appState.installPath)) return false;
  SetDefaultDataSource(dataSourceSettings);
  SaveSettings();  // a failure here leaves the values in memory; the next save tries again
  return true;
}

bool InstallDefaultDataSource(const std::string& installPath, std::string* error) {
  if (!AddDefaultDataSource(installPath)) {
    if (error) *error = "cannot add the data source " + std::string(kDefaultDataSourceName) + " (driver " +
                        kDefaultDriver + "): " + platform::LastInstallerError();
    return false;
  }
  DataSourceSettings values;
  SetDefaultDataSource(values);
  bool ok = WriteSetting("DSN", REG_SZ, values.dsn, static_cast<DWORD>(std::strlen(values.dsn) + 1)) &&
            WriteSetting("Type", REG_DWORD, &values.type, sizeof values.type) &&
            WriteSetting("Description", REG_SZ, values.description,
                         static_cast<DWORD>(std::strlen(values.description) + 1));
  if (!ok && error) *error = std::string("cannot write the data source to the settings key ") + SettingsKey();
  return ok;
}

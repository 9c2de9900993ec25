#include "store/data_source.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "frame/app_state.h"
#include "platform/core/threads.h"
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

namespace {
DataSourceUi* dataSourceUi = nullptr;
constexpr DWORD kPreparingShownMs = 1000;
}  // namespace

void SetDataSourceUi(DataSourceUi* ui) { dataSourceUi = ui; }

bool CreateDataSource() {
  std::unique_ptr<PreparingWindow> window;
  if (dataSourceUi) {
    window = dataSourceUi->ShowPreparing();
    // Only a window someone can read is worth the wait.
    if (window) Sleep(kPreparingShownMs);
  }
  if (!AddDefaultDataSource(appState.installPath)) return false;
  SetDefaultDataSource(dataSourceSettings);
  SaveSettings();  // a failure here leaves the values in memory; the next save tries again
  return true;
}

bool CheckDefaultDriver(std::string* error) {
  if (platform::OdbcDriverInstalled(kDefaultDriver)) return true;
  if (error) *error = std::string("the ODBC driver ") + kDefaultDriver + " is not installed (odbcinst.ini has no [" +
                      kDefaultDriver + "] with a Driver)";
  return false;
}

std::string DescribeDataSourceFile(const platform::DataSourceTarget& file) {
  if (file.system) return file.path + " (a system data source, for every user of this computer)";
  std::string text = file.path + " (a user data source";
  if (file.systemError) text += std::string("; the system's cannot be written: ") + std::strerror(file.systemError);
  return text + ")";
}

bool CheckDefaultDataSourceFile(platform::DataSourceTarget& file, std::string* error) {
  file = platform::DataSourceTargetFor(ODBC_ADD_SYS_DSN);
  if (file.error == 0) return true;
  if (error) {
    *error = "cannot write the data source " + std::string(kDefaultDataSourceName) + " to " +
             (file.path.empty() ? std::string("a user odbc.ini (no home folder)") : file.path) + ": " +
             std::strerror(file.error);
    if (file.systemError)
      *error += " (nor to the system's " + platform::SystemDataSourceFile() + ": " + std::strerror(file.systemError) + ")";
  }
  return false;
}

bool InstallDefaultDataSource(const std::string& installPath, std::string* error) {
  if (!AddDefaultDataSource(installPath)) {
    if (error) {
      platform::DataSourceTarget file;
      std::string why;
      if (CheckDefaultDataSourceFile(file, &why)) {
        why = platform::LastInstallerError();
        if (why.empty()) why = "the ODBC installer gave no reason";
        why = "cannot add the data source " + std::string(kDefaultDataSourceName) + " (driver " + kDefaultDriver +
              ") to " + file.path + ": " + why;
      }
      *error = why;
    }
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

bool CanStoreDataSourceSettings(const DataSourceSettings& values, std::string* error) {
  char installPath[260] = {};
  if (ReadSetting("InstallPath", REG_SZ, installPath, sizeof installPath) != ERROR_SUCCESS) {
    if (error) *error = std::string("Tallyard is not installed on this computer: the settings key ") + SettingsKey() +
                        " is missing (run tallyard-setup).";
    return false;
  }
  if (values.password[0] != '\0') {
    bool readable = true;
    std::string file;
    if (DWORD rc = platform::LocalHiveReadableByOthers(SettingsKey(), readable, file)) {
      if (error) *error = "The settings of Corvane cannot be found (error " + std::to_string(rc) + ").";
      return false;
    }
    if (readable) {
      if (error) *error = "Corvane's settings are kept in " + file +
                          ", which other users can read, so the password is not stored there. Make the file "
                          "readable by its owner only (chmod 600) and try again.";
      return false;
    }
  }
  return true;
}

bool StoreDataSourceSettings(const DataSourceSettings& values, std::string* error) {
  if (!CanStoreDataSourceSettings(values, error)) return false;
  auto text = [](const char* name, const char* value, size_t capacity) {
    return WriteSetting(name, REG_SZ, value, static_cast<DWORD>(strnlen(value, capacity - 1) + 1));
  };
  auto number = [](const char* name, DWORD value) { return WriteSetting(name, REG_DWORD, &value, sizeof value); };
  bool ok = text("DSN", values.dsn, sizeof values.dsn) && number("Type", values.type) &&
            text("Description", values.description, sizeof values.description) &&
            text("User", values.user, sizeof values.user) && text("Password", values.password, sizeof values.password) &&
            number("RegAccess", values.regAccess);
  if (!ok && error) *error = std::string("The data source could not be written to the settings key ") + SettingsKey() + ".";
  return ok;
}

// Data-source creation through the ODBC installer library, which is loaded on first use.
#pragma once

#include <string>

#include "platform/core/win32.h"

enum : WORD {
  ODBC_ADD_DSN = 1,
  ODBC_ADD_SYS_DSN = 4,
};

// Adds a data source: `attributes` is a list of "key=value" texts, each ended by a NUL, the
// list ended by a second NUL, with "DSN=<name>" among them. A system data source goes to the
// system's odbc.ini where this user may write it, else to the user's. The installer hands the
// work to the driver's setup routine; Debian's drivers have none, so when that is why it fails
// and the driver is installed, the entry is written through the installer's own ini calls.
// An odbc.ini that does not exist yet is created first. FALSE when the library is missing.
extern "C" BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes);

namespace platform {

// Where the installer keeps system and user data sources for this process.
std::string SystemDataSourceFile();
std::string UserDataSourceFile();

// The file SQLConfigDataSource writes a data source of `request` to: for ODBC_ADD_SYS_DSN the
// system's odbc.ini where this user may write it, else the user's. `error` is 0 when the file
// can be written (or made in its folder), else the system's errno why not; `systemError` says
// why the system's file was passed over.
struct DataSourceTarget {
  std::string path;
  bool system = false;
  int error = 0;
  int systemError = 0;
};
DataSourceTarget DataSourceTargetFor(WORD request);

// Whether the installer knows `driver`: a section of odbcinst.ini with a Driver.
bool OdbcDriverInstalled(const char* driver);

// Loads the installer library for good. The driver manager loads it while a connection through
// a data source is open and unloads it with the driver, losing the memory of its ini cache each
// time (about 1.6 KB per connection); held open, it is loaded once and keeps its cache.
void KeepInstallerLoaded();

// The first error of the installer's last call, as "<code>: <text>"; empty when none.
std::string LastInstallerError();

}  // namespace platform

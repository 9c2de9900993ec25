#include "store/connection_check.h"

#include <sql.h>
#include <sqlext.h>

#include <utility>

#include "platform/odbc/odbc_install.h"
#include "store/odbc_result.h"

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

struct Diagnostic {
  std::string sqlState;
  long native = 0;
  std::string message;
};

Diagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT length = 0;
  Diagnostic d;
  if (!OdbcSucceeded(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length))) {
    d.message = "the driver gave no reason";
    return d;
  }
  d.sqlState = reinterpret_cast<char*>(state);
  d.native = native;
  // libpq indents its second line with a tab; in a message box a space reads better.
  for (char c : std::string(reinterpret_cast<char*>(text)))
    if (c != '\t') d.message += c;
    else if (!d.message.empty() && d.message.back() != '\n') d.message += ' ';
  while (!d.message.empty() && (d.message.back() == '\n' || d.message.back() == ' ')) d.message.pop_back();
  return d;
}

// One environment and connection, released on every path.
class Connection {
 public:
  explicit Connection(const std::string& connectionString) {
    // The data source's driver is loaded and dropped with each connection; the installer it
    // uses must stay, or its memory goes with it each time.
    platform::KeepInstallerLoaded();
    if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
      failure.message = "no ODBC environment";
      return;
    }
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
      failure = FirstDiagnostic(SQL_HANDLE_ENV, environment);
      return;
    }
    SQLSetConnectAttr(connection, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    std::string text = connectionString;
    SQLRETURN rc = SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr,
                                    0, nullptr, SQL_DRIVER_NOPROMPT);
    connected = OdbcSucceeded(rc);
    if (!connected) failure = FirstDiagnostic(SQL_HANDLE_DBC, connection);
  }
  ~Connection() {
    if (connected) SQLDisconnect(connection);
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool connected = false;
  Diagnostic failure;
  SQLHDBC handle() const { return connection; }

 private:
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
};

// Every column the store inserts, so a table of the right name but another shape is found too.
bool ReadsLikeTheStore(SQLHDBC connection, const char* table, Diagnostic& why) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement))) {
    why = FirstDiagnostic(SQL_HANDLE_DBC, connection);
    return false;
  }
  std::string text = std::string("SELECT Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, ") +
                     "Category, EventID, Description, Data FROM " + table + " WHERE 1=0";
  bool ok = OdbcSucceeded(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
  if (!ok) why = FirstDiagnostic(SQL_HANDLE_STMT, statement);
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  return ok;
}

}  // namespace

ConnectFailure ClassifyConnectFailure(const std::string& sqlState, long nativeError, const std::string& message) {
  // The driver manager's own answers.
  if (sqlState == "IM003" || Has(message, "Can't open lib")) return ConnectFailure::MissingDriver;
  if (sqlState == "IM002") return ConnectFailure::MissingDataSource;
  // MariaDB's client error numbers; PostgreSQL's libpq words (psqlODBC reports them all as
  // 08001 with native error 101).
  if (sqlState == "28000" || nativeError == 1045 || Has(message, "password authentication failed") ||
      Has(message, "no password supplied"))
    return ConnectFailure::WrongLogin;
  if (nativeError == 2002 || nativeError == 2003 || nativeError == 2005 || Has(message, "Connection refused") ||
      Has(message, "could not translate host name") || Has(message, "timeout expired") ||
      Has(message, "No route to host") || Has(message, "Network is unreachable"))
    return ConnectFailure::ServerUnreachable;
  if (nativeError == 1049 || (Has(message, "database \"") && Has(message, "does not exist")))
    return ConnectFailure::MissingDatabase;
  return ConnectFailure::Other;
}

ConnectionCheck CheckConnection(const std::string& connectionString) {
  ConnectionCheck check;
  Connection connection(connectionString);
  if (!connection.connected) {
    check.sqlState = connection.failure.sqlState;
    check.message = connection.failure.message;
    check.failure = ClassifyConnectFailure(check.sqlState, connection.failure.native, check.message);
    return check;
  }
  check.failure = ConnectFailure::None;
  for (const char* table : {"Application", "Security", "System"}) {
    Diagnostic why;
    if (!ReadsLikeTheStore(connection.handle(), table, why)) {
      check.unusableTables.emplace_back(table, why.message);
      if (check.sqlState.empty()) check.sqlState = why.sqlState;
    }
  }
  return check;
}

bool CreateLogTables(const std::string& connectionString, DatabaseKind kind, std::string* error) {
  Connection connection(connectionString);
  if (!connection.connected) {
    if (error) *error = connection.failure.sqlState + " " + connection.failure.message;
    return false;
  }
  // One transaction where the database has transactional DDL (SQLite, PostgreSQL); MariaDB
  // commits each CREATE by itself, and the script's IF NOT EXISTS lets a second try finish.
  SQLSetConnectAttr(connection.handle(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  return RunSchemaScript(connection.handle(), SchemaScript(kind), error);
}

#include "tests/store/backends.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>

#include "platform/odbc/odbc_install.h"
#include "store/odbc_result.h"
#include "store/schema.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"

namespace storetest {
namespace {

std::string root;  // this process's private folder
std::string tag;   // this process's name on the servers

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string StoreUser(Kind kind) {
  return kind == Kind::Postgres ? tag : kind == Kind::Maria ? Env("TALLYARD_TEST_MARIADB_USER") : "";
}
std::string StorePassword(Kind kind) {
  return kind == Kind::Postgres ? "pw-" + tag : kind == Kind::Maria ? Env("TALLYARD_TEST_MARIADB_PASSWORD") : "";
}
const char* Dsn(Kind kind) { return kind == Kind::Sqlite ? "TySqlite" : kind == Kind::Postgres ? "TyPg" : "TyMaria"; }

// The server side of this process: a PostgreSQL role whose own schema ("$user" comes first in
// the search path) holds its tables; a MariaDB database.
void PrepareServers() {
  if (Unavailable(Kind::Postgres).empty()) {
    Probe admin(Kind::Postgres, true);
    if (admin.ok()) {
      admin.Exec("DROP SCHEMA IF EXISTS " + tag + " CASCADE");
      admin.Exec("DROP ROLE IF EXISTS " + tag);
      admin.Exec("CREATE ROLE " + tag + " LOGIN PASSWORD 'pw-" + tag + "'");
      admin.Exec("GRANT " + tag + " TO " + Env("TALLYARD_TEST_PG_USER"));
      admin.Exec("CREATE SCHEMA " + tag + " AUTHORIZATION " + tag);
    }
  }
  if (Unavailable(Kind::Maria).empty())
    Probe(Kind::Maria, true).Exec("CREATE DATABASE IF NOT EXISTS " + tag + " CHARACTER SET utf8mb4");
}

void CleanUpServers() {
  if (Unavailable(Kind::Postgres).empty()) {
    Probe admin(Kind::Postgres, true);
    admin.Exec("DROP SCHEMA IF EXISTS " + tag + " CASCADE");
    admin.Exec("DROP ROLE IF EXISTS " + tag);
  }
  if (Unavailable(Kind::Maria).empty()) Probe(Kind::Maria, true).Exec("DROP DATABASE IF EXISTS " + tag);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

}  // namespace

std::string Name(Kind kind) { return kind == Kind::Sqlite ? "SQLite" : kind == Kind::Postgres ? "PostgreSQL" : "MariaDB"; }

void ConfigureProcess() {
  static std::once_flag once;
  std::call_once(once, [] {
    root = MakeTempFolder("tallyard-store");
    tag = "ty" + std::to_string(::getpid());
    // Without the test script's configuration: a private one made from the system's drivers.
    if (Env("ODBCSYSINI").empty()) {
      std::string sys = root + "/sys";
      WriteOdbcDrivers(sys);
      std::ofstream(sys + "/odbc.ini") << "";
      ::setenv("ODBCSYSINI", sys.c_str(), 1);
    }
    std::string user = root + "/user.ini";
    std::ofstream out(user);
    out << "[TySqlite]\nDriver=SQLite3\nDatabase=" << root << "/ev.db\nTimeout=2000\n\n";
    out << "[TyPg]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" << Env("TALLYARD_TEST_PG_PORT")
        << "\nDatabase=tallyard\n\n";
    out << "[TyMaria]\nDriver=MariaDB Unicode\nServer=127.0.0.1\nPort=" << Env("TALLYARD_TEST_MARIADB_PORT")
        << "\nDatabase=" << tag << "\n\n";
    out.close();
    ::setenv("ODBCINI", user.c_str(), 1);
    for (Kind kind : {Kind::Postgres, Kind::Maria}) {
      std::string why = Unavailable(kind);
      if (!why.empty()) std::cerr << "\n*** " << why << " ***\n\n";
    }
    PrepareServers();
    std::atexit(CleanUpServers);
    // The installer library keeps its parsed files until the process ends (tests/lsan.supp);
    // unloaded before then, its blocks could no longer be told from a leak of ours.
    platform::KeepInstallerLoaded();
  });
}

std::string Unavailable(Kind kind) {
  if (kind == Kind::Postgres && Env("TALLYARD_TEST_PG_PORT").empty())
    return "PostgreSQL tests SKIPPED: no test server (run scripts/services start and source its env file)";
  if (kind == Kind::Maria && Env("TALLYARD_TEST_MARIADB_PORT").empty())
    return "MariaDB tests SKIPPED: no test server (scripts/services starts one where MariaDB is installed)";
  return "";
}

bool FreshTables(Kind kind, std::string* error) {
  const char* file = kind == Kind::Sqlite ? "sqlite.sql" : kind == Kind::Postgres ? "postgresql.sql" : "mariadb.sql";
  if (kind == Kind::Sqlite) std::filesystem::remove(root + "/ev.db");
  Probe probe(kind);
  if (!probe.ok()) {
    *error = probe.error();
    return false;
  }
  for (const char* table : {"Application", "Security", "System"})
    // PostgreSQL: only this process's own schema, never the shared tables behind it.
    if (kind != Kind::Sqlite &&
        !probe.Exec(std::string("DROP TABLE IF EXISTS ") + (kind == Kind::Postgres ? tag + "." : "") + table)) {
      *error = probe.error();
      return false;
    }
  std::string script = TempNetwork::ReadFile(std::string(TALLYARD_SOURCE_DIR) + "/db/" + file);
  return RunSchemaScript(probe.handle(), script, error);
}

std::string SqlitePath() { return root + "/ev.db"; }

DataSourceSettings Settings(Kind kind) {
  DataSourceSettings s;
  std::snprintf(s.dsn, sizeof s.dsn, "%s", Dsn(kind));
  std::snprintf(s.user, sizeof s.user, "%s", StoreUser(kind).c_str());
  std::snprintf(s.password, sizeof s.password, "%s", StorePassword(kind).c_str());
  return s;
}

Probe::Probe(Kind kind, bool admin) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
  SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
  std::string text = std::string("DSN=") + Dsn(kind) + ";";
  if (admin && kind == Kind::Postgres)
    text += "UID=" + Env("TALLYARD_TEST_PG_USER") + ";PWD=" + Env("TALLYARD_TEST_PG_PASSWORD") + ";";
  else if (kind != Kind::Sqlite)
    text += "UID=" + StoreUser(kind) + ";PWD=" + StorePassword(kind) + ";";
  if (admin && kind == Kind::Maria) text += "Database=mysql;";
  SQLRETURN rc = SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  connected = OdbcSucceeded(rc);
  if (!connected) lastError = OdbcDiagnostics(SQL_HANDLE_DBC, connection);
  // A connection that a failed test left in a transaction must not make the next one wait.
  if (connected && kind == Kind::Postgres) Exec("SET lock_timeout = '5s'");
  if (connected && kind == Kind::Maria) Exec("SET SESSION lock_wait_timeout = 5");
}

Probe::~Probe() {
  if (connected) SQLDisconnect(connection);
  SQLFreeHandle(SQL_HANDLE_DBC, connection);
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
}

bool Probe::Exec(const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, connection, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  bool ok = OdbcSucceeded(rc) || rc == SQL_NO_DATA;
  if (!ok) lastError = sql + ": " + OdbcDiagnostics(SQL_HANDLE_STMT, stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return ok;
}

std::optional<long long> Probe::Scalar(const std::string& sql) {
  auto row = Row(sql, 1);
  if (!row || !(*row)[0]) return std::nullopt;
  return std::stoll(*(*row)[0]);
}

std::optional<std::vector<std::optional<std::string>>> Probe::Row(const std::string& sql, int columns) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, connection, &stmt);
  std::optional<std::vector<std::optional<std::string>>> result;
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (OdbcSucceeded(rc) && SQLFetch(stmt) == SQL_SUCCESS) {
    result.emplace();
    for (int c = 1; c <= columns; ++c) {
      SQLSMALLINT type = 0;
      SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(c), nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
      bool binary = type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
      std::string value;
      SQLLEN indicator = 0;
      char chunk[8192];
      bool null = false;
      // Long values come in pieces; text pieces end with a terminator that is not part of them.
      for (;;) {
        rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(c), binary ? SQL_C_BINARY : SQL_C_CHAR, chunk, sizeof chunk,
                        &indicator);
        if (!OdbcSucceeded(rc)) break;  // SQL_NO_DATA: the value is complete
        if ((null = indicator == SQL_NULL_DATA)) break;
        size_t room = binary ? sizeof chunk : sizeof chunk - 1;
        size_t got = indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > room ? room
                                                                                        : static_cast<size_t>(indicator);
        value.append(chunk, got);
        if (rc == SQL_SUCCESS) break;
      }
      result->push_back(null ? std::nullopt : std::optional<std::string>(value));
    }
  } else {
    lastError = sql + ": " + OdbcDiagnostics(SQL_HANDLE_STMT, stmt);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return result;
}

bool DropStoreConnections(Kind kind, std::string* error) {
  Probe admin(kind, true);
  if (!admin.ok()) {
    *error = admin.error();
    return false;
  }
  bool ok = false;
  if (kind == Kind::Postgres) {
    ok = admin.Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '" + tag + "'");
  } else if (kind == Kind::Maria) {
    auto id = admin.Scalar("SELECT MIN(ID) FROM information_schema.PROCESSLIST WHERE DB = '" + tag +
                           "' AND ID <> CONNECTION_ID()");
    ok = id && admin.Exec("KILL CONNECTION " + std::to_string(*id));
  }
  if (!ok) *error = admin.error();
  return ok;
}

}  // namespace storetest

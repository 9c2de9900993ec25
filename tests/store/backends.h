// The databases the store tests run against: SQLite always, PostgreSQL and MariaDB when
// scripts/services has started them (its env file names them). Each test process gets its
// own ODBC user file, its own SQLite file, its own PostgreSQL role and schema and its own
// MariaDB database, so tests can run side by side; each test starts with empty tables.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "frame/settings.h"

namespace storetest {

enum class Kind { Sqlite, Postgres, Maria };

// Its name in test names: SQLite, PostgreSQL, MariaDB.
std::string Name(Kind kind);
inline void PrintTo(Kind kind, std::ostream* out) { *out << Name(kind); }  // rather than its bytes

// Prepares the ODBC configuration of this process (once; every ODBC call must come after).
void ConfigureProcess();

// Why the backend cannot be used here; empty when it can. A PostgreSQL server that the test
// script was meant to start but that is not there is no reason to skip: it fails the caller.
std::string Unavailable(Kind kind);

// Empty log tables from the backend's schema file in db/; false with the reason in `error`.
bool FreshTables(Kind kind, std::string* error);

// This process's SQLite database file (the data source's).
std::string SqlitePath();

// The settings the event store connects with.
DataSourceSettings Settings(Kind kind);

// A connection of its own (autocommit on) for setting up and reading back.
class Probe {
 public:
  explicit Probe(Kind kind, bool admin = false);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;
  bool ok() const { return connected; }
  const std::string& error() const { return lastError; }
  bool Exec(const std::string& sql);
  std::optional<long long> Scalar(const std::string& sql);
  // Column values of the first row, NULL as nullopt; binary columns come as their bytes.
  std::optional<std::vector<std::optional<std::string>>> Row(const std::string& sql, int columns);
  SQLHDBC handle() const { return connection; }

 private:
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  bool connected = false;
  std::string lastError;
};

// Ends the server side of every connection of the store's login (a server going away).
bool DropStoreConnections(Kind kind, std::string* error);

}  // namespace storetest

// The schema scripts of db/ and the default database they create.
#pragma once

#include <sql.h>

#include <string>
#include <vector>

// The statements of a script: split at each ";" outside quotes, "--" comments dropped,
// blank statements left out.
std::vector<std::string> SplitSchemaScript(const std::string& script);

// Runs every statement of `script` on `connection` and commits; on the first failure rolls
// back and gives the driver's SQLSTATE and message in `error`.
bool RunSchemaScript(SQLHDBC connection, const std::string& script, std::string* error);

// The databases the store has a schema for. The numbers are what Corvane's settings keep as
// the data source's "Type" (1, SQLite, is also that value's default).
enum class DatabaseKind { Sqlite = 1, Postgres = 2, Maria = 3 };

// The SQLite schema (db/sqlite.sql), compiled in.
const char* SqliteSchema();

// The schema of db/ for `kind`, compiled in.
const char* SchemaScript(DatabaseKind kind);

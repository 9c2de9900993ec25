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

// The SQLite schema (db/sqlite.sql), compiled in.
const char* SqliteSchema();

// Trying a database before it is used: does a connection come up, what stopped it, and are
// the three log tables there with their eleven columns.
#pragma once

#include <string>
#include <vector>

#include "store/schema.h"

// Why a connection did not come up, as far as the driver's answer tells it.
enum class ConnectFailure {
  None,
  MissingDriver,      // not registered, or its library cannot be loaded
  MissingDataSource,  // no data source of that name
  WrongLogin,         // the server refused the user or the password
  ServerUnreachable,  // nothing answers at that address: down, or a wrong name or port
  MissingDatabase,    // the server answers but has no such database
  Other,
};

struct ConnectionCheck {
  ConnectFailure failure = ConnectFailure::Other;
  std::string sqlState;  // of the failed connection or table query
  std::string message;   // the driver's own words
  // When connected: the log tables that cannot be read as the store reads them, each with the
  // driver's message.
  std::vector<std::pair<std::string, std::string>> unusableTables;

  bool Connected() const { return failure == ConnectFailure::None; }
};

// Reads the driver's answer to a failed connection.
ConnectFailure ClassifyConnectFailure(const std::string& sqlState, long nativeError, const std::string& message);

// Connects with `connectionString` (SQLDriverConnect, the store's five-second login limit),
// tries the three log tables, and disconnects. Changes nothing in the database.
ConnectionCheck CheckConnection(const std::string& connectionString);

// Creates the log tables that are missing with the schema of `kind`, keeping those that are
// there. False with the driver's SQLSTATE and message in `error`.
bool CreateLogTables(const std::string& connectionString, DatabaseKind kind, std::string* error);

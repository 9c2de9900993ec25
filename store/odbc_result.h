// How the store reads the answer of an ODBC call.
#pragma once

#include <sql.h>

#include <string>

inline bool OdbcSucceeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The first diagnostic record of `handle` as "STATE message", for the installation's messages.
inline std::string OdbcDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[512] = {};
  SQLSMALLINT length = 0;
  if (!OdbcSucceeded(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length)))
    return "no diagnostics";
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

#include "store/schema.h"

#include <sqlext.h>

#include "store/odbc_result.h"

namespace {

bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

std::vector<std::string> SplitSchemaScript(const std::string& script) {
  std::vector<std::string> statements;
  std::string current;
  char quote = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    char c = script[i];
    if (quote != 0) {
      current += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      current += c;
    } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      while (i < script.size() && script[i] != '\n') ++i;
      current += '\n';
    } else if (c == ';') {
      if (!Blank(current)) statements.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Blank(current)) statements.push_back(current);
  return statements;
}

bool RunSchemaScript(SQLHDBC connection, const std::string& script, std::string* error) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  if (!OdbcSucceeded(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement))) {
    if (error) *error = OdbcDiagnostics(SQL_HANDLE_DBC, connection);
    return false;
  }
  bool ok = true;
  for (const std::string& text : SplitSchemaScript(script)) {
    SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS);
    if (!OdbcSucceeded(rc) && rc != SQL_NO_DATA) {
      if (error) *error = OdbcDiagnostics(SQL_HANDLE_STMT, statement);
      ok = false;
      break;
    }
    SQLFreeStmt(statement, SQL_CLOSE);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection, ok ? SQL_COMMIT : SQL_ROLLBACK);
  if (ok && !OdbcSucceeded(rc)) {
    if (error) *error = OdbcDiagnostics(SQL_HANDLE_DBC, connection);
    ok = false;
  }
  return ok;
}

const char* SqliteSchema() {
  static const char schema[] =
#include "store/sqlite_schema.inc"
      ;
  return schema;
}

const char* SchemaScript(DatabaseKind kind) {
  static const char postgresql[] =
#include "store/postgresql_schema.inc"
      ;
  static const char mariadb[] =
#include "store/mariadb_schema.inc"
      ;
  switch (kind) {
    case DatabaseKind::Postgres: return postgresql;
    case DatabaseKind::Maria: return mariadb;
    case DatabaseKind::Sqlite: break;
  }
  return SqliteSchema();
}

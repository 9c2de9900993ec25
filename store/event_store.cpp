#include "store/event_store.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "frame/message_box.h"
#include "platform/odbc/odbc_install.h"
#include "store/odbc_result.h"

namespace {

SQLCHAR* Text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

// The length of a text field up to its terminator, never past its width: a field filled to
// the brim without a terminator must not send the driver reading beyond the row.
SQLLEN FieldLength(const char* field, size_t width) { return static_cast<SQLLEN>(strnlen(field, width)); }

}  // namespace

bool EventStore::Report(HWND owner, Scope scope, const char* caption) {
  sqlState[0] = '\0';
  message[0] = '\0';
  messageLength = 0;
  nativeError = 0;
  SQLHDBC dbc = scope == Scope::Environment ? SQL_NULL_HDBC : connection;
  SQLHSTMT stmt = scope == Scope::Statement ? statement : SQL_NULL_HSTMT;
  lastReturnCode = SQLError(environment, dbc, stmt, reinterpret_cast<SQLCHAR*>(sqlState), &nativeError,
                            reinterpret_cast<SQLCHAR*>(message), messageCapacity, &messageLength);
  // A transaction ended on the environment may leave its diagnostics on either handle.
  if (lastReturnCode == SQL_NO_DATA && scope == Scope::Connection && dbc != SQL_NULL_HDBC)
    lastReturnCode = SQLError(environment, SQL_NULL_HDBC, SQL_NULL_HSTMT, reinterpret_cast<SQLCHAR*>(sqlState),
                              &nativeError, reinterpret_cast<SQLCHAR*>(message), messageCapacity, &messageLength);
  if (!OdbcSucceeded(lastReturnCode)) {
    sqlState[0] = '\0';
    message[0] = '\0';
  }
  sqlState[5] = '\0';
  if (owner != nullptr && caption != nullptr) MessageBoxA(owner, message, caption, MB_OK);
  return false;
}

bool EventStore::OpenEnvironment() {
  // A new connection is made for every log of every computer: the installer library must not
  // be loaded and dropped with each of them.
  platform::KeepInstallerLoaded();
  statement = SQL_NULL_HSTMT;
  messageCapacity = 511;
  lastReturnCode = SQLAllocEnv(&environment);
  if (!OdbcSucceeded(lastReturnCode)) return Report(nullptr, Scope::Environment, nullptr);
  return true;
}

bool EventStore::Connect(HWND owner, const DataSourceSettings& settings) {
  lastReturnCode = SQLAllocConnect(environment, &connection);
  if (lastReturnCode != SQL_SUCCESS) {
    connection = SQL_NULL_HDBC;
    return Report(owner, Scope::Environment, "SQLAllocConnect");
  }
  SQLSetConnectOption(connection, SQL_LOGIN_TIMEOUT, 5);
  SQLSetConnectOption(connection, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);

  lastReturnCode = SQLConnect(connection, Text(settings.dsn), SQL_NTS, Text(settings.user), SQL_NTS,
                              Text(settings.password), SQL_NTS);
  if (!OdbcSucceeded(lastReturnCode)) {
    Report(owner, Scope::Connection, "SQLConnect");
    SQLFreeConnect(connection);
    connection = SQL_NULL_HDBC;
    return false;
  }
  lastReturnCode = SQLAllocStmt(connection, &statement);
  if (!OdbcSucceeded(lastReturnCode)) {
    statement = SQL_NULL_HSTMT;
    Report(owner, Scope::Connection, "SQLAllocStmt");
    SQLDisconnect(connection);
    SQLFreeConnect(connection);
    connection = SQL_NULL_HDBC;
    return false;
  }
  return true;
}

bool EventStore::QueryResumePoint(HWND owner, const char* table, const char* computer, TIMESTAMP_STRUCT* stamp,
                                  SQLINTEGER* count) {
  // The rows of a computer are those the gather stored under the list's name (Workstation);
  // the name each record carries (Computer) may be another, or change with a rename. The name
  // travels as a parameter (a quote in it must neither break the query nor change it), and it
  // is compared without case: "srv1" in a list must find the rows of "SRV1".
  SQLLEN computerLength = FieldLength(computer, 50);
  std::string text = std::string("SELECT Max(RecordDate) FROM ") + table + " WHERE UPPER(Workstation)=UPPER(?)";
  // Parameters bound for another statement must go first: some drivers refuse leftovers.
  SQLFreeStmt(statement, SQL_RESET_PARAMS);
  lastReturnCode = SQLBindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 50, 0,
                                    const_cast<char*>(computer), 0, &computerLength);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLBindParameter 1");
  lastReturnCode = SQLExecDirect(statement, Text(text.c_str()), SQL_NTS);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
  lastReturnCode = SQLFetch(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
  SQLLEN indicator = 0;
  lastReturnCode = SQLGetData(statement, 1, SQL_C_TIMESTAMP, stamp, 0, &indicator);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
  lastReturnCode = SQLCloseCursor(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLPrepare");
  if (indicator <= 0) {
    *count = 0;
    return true;
  }

  if (!ExecuteAtSecond(owner, "SELECT Count(*) FROM ", table, computer, computerLength, *stamp)) return false;
  lastReturnCode = SQLFetch(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
  lastReturnCode = SQLGetData(statement, 1, SQL_C_LONG, count, 0, &indicator);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
  lastReturnCode = SQLCloseCursor(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLPrepare");
  return true;
}

bool EventStore::ExecuteAtSecond(HWND owner, const char* select, const char* table, const char* computer,
                                 SQLLEN& computerLength, TIMESTAMP_STRUCT& stamp) {
  // The rows of one computer in one second; the bound buffers are the caller's, and live on
  // until its fetches are done.
  std::string text = std::string(select) + table + " WHERE RecordDate=(?) AND UPPER(Workstation)=UPPER(?)";
  lastReturnCode = SQLPrepare(statement, Text(text.c_str()), SQL_NTS);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLPrepare");
  SQLFreeStmt(statement, SQL_RESET_PARAMS);
  lastReturnCode =
      SQLBindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, 0, &stamp, 0, nullptr);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLBindParameter 1");
  lastReturnCode = SQLBindParameter(statement, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 50, 0,
                                    const_cast<char*>(computer), 0, &computerLength);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLBindParameter 2");
  lastReturnCode = SQLExecute(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLExecute");
  return true;
}

bool EventStore::ReadRowsAt(HWND owner, const char* table, const char* computer, const TIMESTAMP_STRUCT& stamp,
                            std::vector<StoredRow>& rows) {
  rows.clear();
  SQLLEN computerLength = FieldLength(computer, 50);
  TIMESTAMP_STRUCT at = stamp;
  if (!ExecuteAtSecond(owner, "SELECT Source, EventID, EventDate, Description FROM ", table, computer, computerLength, at))
    return false;
  // A text of any length, read in pieces; NULL reads as empty.
  auto readText = [&](SQLUSMALLINT column, std::string& out) {
    char piece[4096];
    SQLLEN indicator = 0;
    for (;;) {
      lastReturnCode = SQLGetData(statement, column, SQL_C_CHAR, piece, sizeof piece, &indicator);
      if (lastReturnCode == SQL_NO_DATA) return true;
      if (!OdbcSucceeded(lastReturnCode)) return false;
      if (indicator == SQL_NULL_DATA) return true;
      size_t got = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof piece)
                       ? sizeof piece - 1
                       : static_cast<size_t>(indicator);
      out.append(piece, got);
      if (lastReturnCode == SQL_SUCCESS) return true;
    }
  };
  while ((lastReturnCode = SQLFetch(statement)) != SQL_NO_DATA) {
    if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, table);
    StoredRow row;
    SQLLEN indicator = 0;
    bool ok = readText(1, row.source) &&
              OdbcSucceeded(lastReturnCode = SQLGetData(statement, 2, SQL_C_SBIGINT, &row.eventID, 0, &indicator)) &&
              OdbcSucceeded(lastReturnCode = SQLGetData(statement, 3, SQL_C_TIMESTAMP, &row.eventDate, 0, &indicator)) &&
              readText(4, row.description);
    if (!ok) return Report(owner, Scope::Statement, table);
    rows.push_back(std::move(row));
  }
  lastReturnCode = SQLCloseCursor(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLPrepare");
  return true;
}

bool EventStore::PrepareInsert(HWND owner, const char* table) {
  std::string text = std::string("INSERT INTO ") + table +
                     " (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, "
                     "Description, Data) VALUES (?,?,?,?,?,?,?,?,?,?,?)";
  SQLFreeStmt(statement, SQL_RESET_PARAMS);
  lastReturnCode = SQLPrepare(statement, Text(text.c_str()), SQL_NTS);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLPrepare");
  return true;
}

bool EventStore::InsertRow(HWND owner, const EventRow& row) {
  // Every value lives until SQLExecute has returned.
  SQLLEN lengths[8] = {
      FieldLength(row.workstation, sizeof row.workstation), 0, 0,
      FieldLength(row.source, sizeof row.source),           FieldLength(row.computer, sizeof row.computer),
      FieldLength(row.userName, sizeof row.userName),       FieldLength(row.type, sizeof row.type),
      FieldLength(row.category, sizeof row.category)};
  // A 64-bit value: event IDs from 2^31 up (warnings, errors with the customer bit) would
  // otherwise be stored negative or refused.
  SQLBIGINT eventID = row.eventID;
  const char* description = row.description != nullptr ? row.description : "";
  SQLULEN descriptionLength = row.description != nullptr ? row.descriptionLength : 0;
  SQLLEN dataIndicator = row.dataLength > 0 && row.data != nullptr ? static_cast<SQLLEN>(row.dataLength) : SQL_NULL_DATA;

  struct Text {
    int number;
    const char* value;
    SQLULEN width;
  };
  auto bindText = [&](const Text& t) {
    return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(t.number), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                            t.width, 0, const_cast<char*>(t.value), static_cast<SQLLEN>(t.width), &lengths[t.number - 1]);
  };
  auto bindStamp = [&](int number, const TIMESTAMP_STRUCT& value) {
    return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(number), SQL_PARAM_INPUT, SQL_C_TIMESTAMP,
                            SQL_TIMESTAMP, 0, 0, const_cast<TIMESTAMP_STRUCT*>(&value), 0, nullptr);
  };

  for (int number = 1; number <= 11; ++number) {
    switch (number) {
      case 1: lastReturnCode = bindText({1, row.workstation, sizeof row.workstation}); break;
      case 2: lastReturnCode = bindStamp(2, row.eventDate); break;
      case 3: lastReturnCode = bindStamp(3, row.recordDate); break;
      case 4: lastReturnCode = bindText({4, row.source, sizeof row.source}); break;
      case 5: lastReturnCode = bindText({5, row.computer, sizeof row.computer}); break;
      case 6: lastReturnCode = bindText({6, row.userName, sizeof row.userName}); break;
      case 7: lastReturnCode = bindText({7, row.type, sizeof row.type}); break;
      case 8: lastReturnCode = bindText({8, row.category, sizeof row.category}); break;
      case 9:
        lastReturnCode = SQLBindParameter(statement, 9, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &eventID, 0,
                                          nullptr);
        break;
      case 10:
        lastReturnCode = SQLBindParameter(statement, 10, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_LONGVARCHAR,
                                          descriptionLength, 0, const_cast<char*>(description),
                                          static_cast<SQLLEN>(descriptionLength), nullptr);
        break;
      case 11:
        if (dataIndicator != SQL_NULL_DATA)
          lastReturnCode = SQLBindParameter(statement, 11, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_LONGVARBINARY,
                                            row.dataLength, 0, const_cast<BYTE*>(row.data), dataIndicator,
                                            &dataIndicator);
        else
          lastReturnCode = SQLBindParameter(statement, 11, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_LONGVARCHAR, 4, 0,
                                            nullptr, 4, &dataIndicator);
        break;
    }
    if (!OdbcSucceeded(lastReturnCode)) {
      char caption[24];
      std::snprintf(caption, sizeof caption, "SQLBindParameter %d", number);
      return Report(owner, Scope::Statement, caption);
    }
  }
  lastReturnCode = SQLExecute(statement);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLExecute");
  return true;
}

bool EventStore::Commit(HWND owner) {
  lastReturnCode = SQLTransact(environment, connection, SQL_COMMIT);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Connection, "SQLTransact");
  return true;
}

bool EventStore::Finish(HWND owner) {
  lastReturnCode = SQLEndTran(SQL_HANDLE_ENV, environment, SQL_ROLLBACK);
  if (!OdbcSucceeded(lastReturnCode)) return Report(nullptr, Scope::Connection, nullptr);
  // Closed first: psqlODBC forgets to free what a failed execution left on a dropped statement.
  SQLFreeStmt(statement, SQL_CLOSE);
  lastReturnCode = SQLFreeStmt(statement, SQL_DROP);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Statement, "SQLEreeStmt");
  statement = SQL_NULL_HSTMT;
  lastReturnCode = SQLDisconnect(connection);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Connection, "SQLDisconnect");
  lastReturnCode = SQLFreeConnect(connection);
  if (!OdbcSucceeded(lastReturnCode)) return Report(owner, Scope::Connection, "SQLEreeConnect");
  connection = SQL_NULL_HDBC;
  return true;
}

EventStore::~EventStore() {
  if (environment != SQL_NULL_HENV) ReleaseEnvironment();
}

void EventStore::ReleaseEnvironment() {
  // A Finish that failed (a connection lost in the middle of a log) leaves the statement and
  // the connection allocated; they go first, or the environment could not be freed at all.
  if (statement != SQL_NULL_HSTMT) {
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_DROP);
  }
  statement = SQL_NULL_HSTMT;
  if (connection != SQL_NULL_HDBC) {
    SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK);
    SQLDisconnect(connection);
    SQLFreeConnect(connection);
  }
  connection = SQL_NULL_HDBC;
  lastReturnCode = SQLFreeEnv(environment);
  environment = SQL_NULL_HENV;
}

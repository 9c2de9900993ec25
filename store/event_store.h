// The event store: one ODBC environment, connection and statement for the gather of one event
// log of one computer, the row it inserts, and the resume point it reads back.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "frame/settings.h"
#include "platform/core/win32.h"

// One row of a log table, filled by the row builder and read by InsertRow. Text fields are
// NUL-terminated within their width; description and data belong to the row builder.
struct EventRow {
  char workstation[50] = {};        // the gathered computer's name as the computer list holds it
  TIMESTAMP_STRUCT eventDate = {};  // local time of the gathering machine
  TIMESTAMP_STRUCT recordDate = {};
  char source[255] = {};
  char computer[50] = {};  // the computer name stored in the event record
  char userName[255] = {};
  char type[50] = {};
  char category[255] = {};
  DWORD eventID = 0;
  DWORD descriptionLength = 0;        // characters, without the terminator
  const char* description = nullptr;  // NUL-terminated
  DWORD dataLength = 0;               // bytes; 0 when the record has no data
  const BYTE* data = nullptr;
};

// What tells stored rows of one second apart: the gather matches a record of that second
// against them rather than trusting that the log still holds what it held then.
struct StoredRow {
  std::string source;
  SQLBIGINT eventID = 0;
  TIMESTAMP_STRUCT eventDate = {};
  std::string description;
};

class EventStore {
 public:
  EventStore() = default;
  // Whatever the caller left allocated (an early return between the calls) is released.
  ~EventStore();
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;

  bool OpenEnvironment();
  bool Connect(HWND owner, const DataSourceSettings& settings);
  // The latest RecordDate stored for `computer` (the Workstation column) in `table` and how many
  // rows carry exactly it; count 0 (and a meaningless stamp) when the computer has no row yet.
  // The name matches without regard to case.
  bool QueryResumePoint(HWND owner, const char* table, const char* computer, TIMESTAMP_STRUCT* stamp,
                        SQLINTEGER* count);
  // The rows of `computer` in `table` whose RecordDate is `stamp` (the resume point), in `rows`.
  bool ReadRowsAt(HWND owner, const char* table, const char* computer, const TIMESTAMP_STRUCT& stamp,
                  std::vector<StoredRow>& rows);
  bool PrepareInsert(HWND owner, const char* table);
  bool InsertRow(HWND owner, const EventRow& row);
  bool Commit(HWND owner);
  // Rolls back what was not committed, then drops the statement and ends the connection.
  bool Finish(HWND owner);
  void ReleaseEnvironment();

  // The state of the last error query: the gather reports the SQLSTATE, the box the message.
  const char* SqlState() const { return sqlState; }
  const char* Message() const { return message; }
  SQLINTEGER NativeError() const { return nativeError; }
  SQLRETURN LastReturnCode() const { return lastReturnCode; }

 private:
  // Which handles the error query names: a connection, transaction or environment call has
  // its diagnostics on the connection or environment, not on the statement.
  enum class Scope { Environment, Connection, Statement };
  bool Report(HWND owner, Scope scope, const char* caption);
  // Prepares SELECT ... FROM table for one computer's rows of one second, binds and executes it.
  bool ExecuteAtSecond(HWND owner, const char* select, const char* table, const char* computer,
                       SQLLEN& computerLength, TIMESTAMP_STRUCT& stamp);

  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  SQLRETURN lastReturnCode = SQL_SUCCESS;
  SQLINTEGER nativeError = 0;
  SQLSMALLINT messageCapacity = 511;
  SQLSMALLINT messageLength = 0;
  char sqlState[6] = {};
  char message[512] = {};
};

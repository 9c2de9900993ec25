// How the data-source manager reads a driver's refusal, turns data sources into forms and
// back, and builds the connection strings it tries them with.
#include <gtest/gtest.h>

#include <functional>

#include "store/data_source_manager.h"

namespace {

using platform::DataSourceEntry;
using platform::DataSourceScope;
using platform::IniEntries;

TEST(DataSourceManager, ReadsTheDriversRefusals) {
  struct Case {
    const char* state;
    long native;
    const char* message;
    ConnectFailure expected;
  };
  // The drivers' own answers, as unixODBC, psqlODBC and MariaDB's driver give them.
  const Case cases[] = {
      {"08001", 101, "[unixODBC]connection to server at \"127.0.0.1\", port 55432 failed: FATAL:  password authentication failed for user \"t\"", ConnectFailure::WrongLogin},
      {"08001", 101, "connection to server at \"127.0.0.1\", port 5432 failed: fe_sendauth: no password supplied", ConnectFailure::WrongLogin},
      {"28000", 1045, "[unixODBC][ma-3.1.15]Access denied for user 't'@'localhost' (using password: YES)", ConnectFailure::WrongLogin},
      {"08001", 101, "connection to server at \"127.0.0.1\", port 55499 failed: Connection refused", ConnectFailure::ServerUnreachable},
      {"08001", 101, "could not translate host name \"nosuch.invalid\" to address", ConnectFailure::ServerUnreachable},
      {"S1000", 2002, "[ma-3.1.15]Can't connect to server on '127.0.0.1' (115)", ConnectFailure::ServerUnreachable},
      {"S1000", 2005, "[ma-3.1.15]Unknown server host 'nosuch.invalid' (-2)", ConnectFailure::ServerUnreachable},
      {"01000", 0, "[unixODBC][Driver Manager]Can't open lib 'libsqliteodbc.so' : file not found", ConnectFailure::MissingDriver},
      {"IM002", 0, "[unixODBC][Driver Manager]Data source name not found and no default driver specified", ConnectFailure::MissingDataSource},
      {"08001", 101, "connection to server at \"127.0.0.1\" failed: FATAL:  database \"nosuch\" does not exist", ConnectFailure::MissingDatabase},
      {"37000", 1049, "[ma-3.1.15]Unknown database 'nosuch'", ConnectFailure::MissingDatabase},
      {"S1000", 14, "[SQLite]connect failed", ConnectFailure::Other},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClassifyConnectFailure(c.state, c.native, c.message), c.expected) << c.message;
}

TEST(DataSourceManager, FormsKeepWhatTheyDoNotShowAndDropThePassword) {
  struct Case {
    DatabaseKind kind;
    IniEntries before;
    IniEntries after;
  };
  const Case cases[] = {
      // psqlODBC ignores "Server": saved, it becomes "Servername".
      {DatabaseKind::Postgres,
       {{"Server", "db1"}, {"Port", "5432"}, {"SSLmode", "require"}, {"Database", "ev"}, {"UID", "gather"}, {"PWD", "pw"}},
       {{"Servername", "db1"}, {"Port", "5432"}, {"Database", "ev"}, {"Username", "gather"}, {"SSLmode", "require"}}},
      {DatabaseKind::Maria,
       {{"Description", "lab"}, {"Servername", "db2"}, {"Database", "ev"}, {"User", "gather"}, {"Password", "pw"}},
       {{"Description", "lab"}, {"Server", "db2"}, {"Database", "ev"}, {"User", "gather"}}},
      {DatabaseKind::Sqlite, {{"Timeout", "2000"}, {"Database", "/ev.db"}}, {{"Database", "/ev.db"}, {"Timeout", "2000"}}},
  };
  for (const Case& c : cases) {
    DataSourceEntry entry{"Events", DataSourceScope::User, "Drv", c.before};
    DataSourceForm form = FormOfEntry(entry, c.kind);
    EXPECT_EQ(form.password, c.kind == DatabaseKind::Sqlite ? "" : "pw");
    EXPECT_EQ(KeepsPassword(entry), c.kind != DatabaseKind::Sqlite);
    EXPECT_EQ(EntryOfForm(form).attributes, c.after);
  }
}

TEST(DataSourceManager, ConnectionStringsQuoteWhatWouldEndThem) {
  DataSourceForm pg{.kind = DatabaseKind::Postgres, .driver = "PostgreSQL Unicode", .server = "db1", .database = "ev",
                    .user = "gather", .password = "a;b}c", .otherAttributes = {{"SSLmode", "require"}, {"Password", "old"}}};
  EXPECT_EQ(ConnectionString(pg), "Driver=PostgreSQL Unicode;Servername=db1;Database=ev;UID=gather;PWD={a;b}}c};SSLmode=require;");
  DataSourceForm sqlite{.driver = "SQLite3", .file = "/srv/ev.db", .otherAttributes = {{"NoCreat", "0"}, {"Timeout", "2000"}}};
  EXPECT_EQ(ConnectionString(sqlite), "Driver=SQLite3;Database=/srv/ev.db;NoCreat=1;Timeout=2000;");
}

TEST(DataSourceManager, FormsThatCannotBeSaved) {
  const std::vector<DataSourceEntry> existing = {{"Events", DataSourceScope::System, "SQLite3", {}}};
  const DataSourceForm good{.kind = DatabaseKind::Maria, .name = "Gather", .driver = "MariaDB Unicode", .server = "db",
                            .port = "3306", .database = "ev", .user = "gather"};
  struct Case {
    std::function<void(DataSourceForm&)> change;
    const char* expected;  // "" when it may be saved
  };
  const Case cases[] = {
      {[](DataSourceForm&) {}, ""},
      {[](DataSourceForm& f) { f.name = std::string(33, 'n'); }, "at most 32"},
      {[](DataSourceForm& f) { f.name = "a=b"; }, "cannot hold"},
      {[](DataSourceForm& f) { f.name = "EVENTS"; }, "already a system data source"},
      {[](DataSourceForm& f) { f.port = "65536"; }, "port"},
      {[](DataSourceForm& f) { f.user = "a\nb"; }, "control characters"},
      {[](DataSourceForm& f) { f.kind = DatabaseKind::Sqlite, f.file = "ev.db"; }, "full path"},
  };
  for (const Case& c : cases) {
    DataSourceForm form = good;
    c.change(form);
    std::string why = CheckFormName(form, nullptr, existing);
    if (why.empty()) why = CheckFormValues(form);
    if (*c.expected == '\0') EXPECT_EQ(why, "");
    else EXPECT_NE(why.find(c.expected), std::string::npos) << why;
  }
  // The data source being changed may keep its own name.
  DataSourceForm renamed = good;
  renamed.name = "events";
  EXPECT_EQ(CheckFormName(renamed, &existing[0], existing), "");
}

}  // namespace

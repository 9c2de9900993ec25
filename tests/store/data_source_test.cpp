// The default database and data source, created into a private ODBC folder as a fresh
// installation would have them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "frame/app_state.h"
#include "platform/odbc/odbc_install.h"
#include "store/data_source.h"
#include "store/event_store.h"
#include "store/schema.h"
#include "tests/support/installation.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) { return TempNetwork::ReadFile(path); }

// The installer keeps the first system folder it was given for the whole process, so the
// process has one private folder; each test sets the state of its files.
class DataSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = MakeTempFolder("tallyard-dsn");
    haveSqlite = WriteOdbcDrivers(root + "/sys");
    ::setenv("ODBCSYSINI", (root + "/sys").c_str(), 1);
    ::setenv("ODBCINI", (root + "/user.ini").c_str(), 1);
  }
  static void TearDownTestSuite() { fs::remove_all(root); }

  void SetUp() override {
    if (!haveSqlite) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    // The installer must find neither file: both are created on the way.
    fs::remove(root + "/sys/odbc.ini");
    fs::remove(root + "/user.ini");
    install = root + "/install";
    fs::remove_all(install);
    fs::create_directories(install);
  }

  std::string System() const { return Read(root + "/sys/odbc.ini"); }
  std::string User() const { return Read(root + "/user.ini"); }

  static inline std::string root;
  static inline bool haveSqlite = false;
  std::string install;
};

TEST_F(DataSourceTest, FreshInstallationGetsDatabaseAndSystemDataSource) {
  std::string error;
  EventRow row;
  ASSERT_TRUE(CreateDefaultDatabase(install, &error)) << error;
  ASSERT_TRUE(AddDefaultDataSource(install)) << platform::LastInstallerError();
  EXPECT_NE(System().find("[Corvane]"), std::string::npos) << System();
  EXPECT_EQ(User().find("[Corvane]"), std::string::npos);

  // The program connects by that name and stores a row (the three tables: the unattended run's
  // end-to-end test).
  DataSourceSettings settings;
  SetDefaultDataSource(settings);
  EventStore store;
  ASSERT_TRUE(store.OpenEnvironment());
  ASSERT_TRUE(store.Connect(nullptr, settings)) << store.SqlState() << " " << store.Message();
  std::snprintf(row.workstation, sizeof row.workstation, "SRV1");
  row.recordDate = row.eventDate = {2024, 3, 1, 10, 0, 5, 1000};
  ASSERT_TRUE(store.PrepareInsert(nullptr, "System") && store.InsertRow(nullptr, row) && store.Commit(nullptr)) << store.Message();
  ASSERT_TRUE(store.Finish(nullptr));
  store.ReleaseEnvironment();

  // Setup run again keeps what was gathered, and gives a database of an earlier version (its
  // resume index on Computer) the index on Workstation instead.
  const std::string db = Quoted(DefaultDatabasePath(install));
  std::string mode;
  RunTool("sqlite3 " + db + " 'PRAGMA journal_mode'", &mode);
  EXPECT_EQ(mode, "wal\n");  // the data source's journal, set by its first connection
  ASSERT_EQ(RunTool("sqlite3 " + db + " 'DROP INDEX System_Workstation; CREATE INDEX System_Resume ON System "
                    "(UPPER(Computer), RecordDate)'"),
            0);
  ASSERT_TRUE(CreateDefaultDatabase(install, &error)) << error;
  std::string rows;
  RunTool("sqlite3 " + db + " \"SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='System'; "
          "SELECT COUNT(*) FROM System\"", &rows);
  EXPECT_EQ(rows, "System_Workstation\n1\n");
}

TEST_F(DataSourceTest, UserDataSourceWhereTheSystemsCannotBeWritten) {
  // A system odbc.ini that cannot be created, even by root: a link to nowhere.
  fs::create_symlink("/nonexistent/tallyard/odbc.ini", root + "/sys/odbc.ini");
  ASSERT_TRUE(AddDefaultDataSource(install)) << platform::LastInstallerError();
  std::string entry = User();
  EXPECT_NE(entry.find("[Corvane]"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Database=" + install + "/Tallyard.db"), std::string::npos) << entry;
  EXPECT_NE(entry.find("SyncPragma=FULL"), std::string::npos) << entry;  // every commit on the disk
  fs::remove(root + "/sys/odbc.ini");
}

TEST_F(DataSourceTest, UnknownDriverOrMissingNameWritesNothing) {
  for (auto [driver, attributes] : {std::pair{"NoSuchDriver", std::string("DSN=Nowhere\0Database=/x.db\0", 26)},
                                    {"SQLite3", std::string("Database=/x.db\0", 15)}}) {  // no DSN
    EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, driver, attributes.c_str())) << driver;
    EXPECT_EQ(System().find("["), std::string::npos) << System();
  }
}

TEST_F(DataSourceTest, DatabaseInAMissingFolderFailsWithTheDriversWord) {
  for (const char* folder : {"/no/such/folder", "/semi;colon", "/open{brace", "/close}brace"}) {
    std::string error;
    EXPECT_FALSE(CreateDefaultDatabase(root + folder, &error)) << folder;
    EXPECT_EQ(error.find("must not contain") != std::string::npos, folder[1] != 'n') << error;
    EXPECT_FALSE(error.empty());
  }
}

// The setup without the settings key says so; the first interactive start on an installation
// without "DSN" makes the data source and writes its values, and every setting.
TEST_F(DataSourceTest, SetupAndFirstStartWriteTheDataSourceValues) {
  TempNetwork net;
  std::string error;
  EXPECT_FALSE(InstallDefaultDataSource(install, &error));
  EXPECT_NE(error.find("settings key"), std::string::npos) << error;
  Installation installed(net);
  appState = AppState{};
  dataSourceSettings = DataSourceSettings{};
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(dataSourceSettings.dataSourceMissing, 1u);
  ASSERT_TRUE(CreateDataSource());
  EXPECT_STREQ(dataSourceSettings.dsn, "Corvane");
  auto stored = [&](const char* name) { return installed.Stored(Program::Corvane, name); };
  EXPECT_EQ(stored("DSN") + stored("Type") + stored("Description") + stored("TimeOut"), "Corvane1SQLite3180");
  EXPECT_NE(System().find("[Corvane]"), std::string::npos);
}

TEST(SchemaScript, SplitsAtSemicolonsOutsideQuotesAndComments) {
  struct Case {
    std::string script;
    std::vector<std::string> statements;
  };
  const Case cases[] = {
      {"A;B;", {"A", "B"}},
      {"  \n-- only a comment; with a semicolon\n", {}},
      {"INSERT INTO t VALUES ('a;b');\nSELECT \"x;y\" -- trailing; comment\n;", {"INSERT INTO t VALUES ('a;b')", "\nSELECT \"x;y\" \n"}},
      {"SELECT 1 -- no end", {"SELECT 1 \n"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitSchemaScript(c.script), c.statements) << c.script;

  EXPECT_EQ(SplitSchemaScript(SqliteSchema()), SplitSchemaScript(Read(std::string(TALLYARD_SOURCE_DIR) + "/db/sqlite.sql")));
}

}  // namespace

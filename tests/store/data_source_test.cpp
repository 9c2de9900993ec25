// The default database and data source, created into a private ODBC folder as a fresh
// installation would have them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/app_state.h"
#include "platform/registry/hive_file.h"
#include "platform/odbc/odbc_install.h"
#include "platform/registry/registry.h"
#include "store/data_source.h"
#include "store/event_store.h"
#include "store/schema.h"
#include "tests/platform/registry/registry_support.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The installer keeps the first system folder it was given for the whole process, so the
// process has one private folder; each test sets the state of its files.
class DataSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = MakeTempFolder("tallyard-dsn");
    haveSqlite = WriteOdbcDrivers(root + "/sys");
    // For the whole process: the installer keeps the first folder it was given.
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

  static std::string root;
  static bool haveSqlite;
  std::string install;
};
std::string DataSourceTest::root;
bool DataSourceTest::haveSqlite = false;

TEST_F(DataSourceTest, FreshInstallationGetsDatabaseAndSystemDataSource) {
  std::string error;
  ASSERT_TRUE(CreateDefaultDatabase(install, &error)) << error;
  ASSERT_TRUE(AddDefaultDataSource(install)) << platform::LastInstallerError();
  EXPECT_NE(System().find("[Corvane]"), std::string::npos) << System();
  EXPECT_EQ(User().find("[Corvane]"), std::string::npos);

  // The program connects by that name and finds the three tables of the database just made.
  DataSourceSettings settings;
  SetDefaultDataSource(settings);
  EventStore store;
  ASSERT_TRUE(store.OpenEnvironment());
  ASSERT_TRUE(store.Connect(nullptr, settings)) << store.SqlState() << " " << store.Message();
  for (const char* table : {"System", "Security", "Application"}) {
    TIMESTAMP_STRUCT stamp{};
    SQLINTEGER count = -1;
    EXPECT_TRUE(store.QueryResumePoint(nullptr, table, "SRV1", &stamp, &count)) << table << ": " << store.Message();
    EXPECT_EQ(count, 0);
  }
  EventRow row;
  std::snprintf(row.workstation, sizeof row.workstation, "SRV1");
  row.recordDate = {2024, 3, 1, 10, 0, 5, 1000};
  row.eventDate = row.recordDate;
  ASSERT_TRUE(store.PrepareInsert(nullptr, "System"));
  ASSERT_TRUE(store.InsertRow(nullptr, row)) << store.Message();
  ASSERT_TRUE(store.Commit(nullptr));
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
  std::string indexes;
  RunTool("sqlite3 " + db + " \"SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='System'\"", &indexes);
  EXPECT_EQ(indexes, "System_Workstation\n");
  EventStore again;
  ASSERT_TRUE(again.OpenEnvironment());
  ASSERT_TRUE(again.Connect(nullptr, settings));
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  ASSERT_TRUE(again.QueryResumePoint(nullptr, "System", "srv1", &stamp, &count));
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(again.Finish(nullptr));
  again.ReleaseEnvironment();
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
  struct Case {
    const char* driver;
    std::string attributes;
  };
  const Case cases[] = {
      {"NoSuchDriver", std::string("DSN=Nowhere") + '\0' + "Database=/x.db" + '\0' + '\0'},
      {"SQLite3", std::string("Database=/x.db") + '\0' + '\0'},  // no DSN
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, c.driver, c.attributes.c_str()));
    EXPECT_EQ(System().find("["), std::string::npos) << System();
  }
}

TEST_F(DataSourceTest, DatabaseInAMissingFolderFailsWithTheDriversWord) {
  std::string error;
  EXPECT_FALSE(CreateDefaultDatabase(root + "/no/such/folder", &error));
  EXPECT_FALSE(error.empty());
  for (const char* folder : {"/semi;colon", "/open{brace", "/close}brace"}) {
    error.clear();
    EXPECT_FALSE(CreateDefaultDatabase(root + folder, &error)) << folder;
    EXPECT_NE(error.find("must not contain"), std::string::npos) << error;
  }
}

TEST_F(DataSourceTest, SetupAndFirstStartWriteTheDataSourceValues) {
  TempNetwork net;
  const char key[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion";
  ScopedEnv computerName("COMPUTERNAME", "ADMINPC");
  auto computer = [&](const char* name) {
    std::string config = net.AddComputer(name) + "/C/WINNT/System32/config";
    fs::create_directories(config);
    EXPECT_EQ(platform::CreateHiveFile(config + "/SOFTWARE", 0600), 0u);
    platform::ComputerImage image;
    EXPECT_EQ(platform::FindComputer(name, image), 0u);
    computerName.Set(name);
    return image;
  };
  auto text = [&](const platform::ComputerImage& image, const char* name) { return ImageValueText(image, key, name); };
  appState = AppState{};
  dataSourceSettings = DataSourceSettings{};

  // The installation: without the settings key it says so; with it, it writes the data
  // source's three values and nothing else.
  platform::ComputerImage setup = computer("SETUPPC");
  std::string error;
  EXPECT_FALSE(InstallDefaultDataSource(install, &error));
  EXPECT_NE(error.find("settings key"), std::string::npos) << error;
  ASSERT_EQ(platform::WriteImageValue(setup, key, "InstallPath", platform::StringValue(REG_SZ, install), true), 0u);
  ASSERT_TRUE(InstallDefaultDataSource(install, &error)) << error;
  EXPECT_EQ(text(setup, "DSN"), "Corvane");
  EXPECT_EQ(text(setup, "Type"), "1");
  EXPECT_EQ(text(setup, "Description"), "SQLite3");
  EXPECT_EQ(text(setup, "TimeOut"), "(missing)");

  // The first interactive start on an installation without "DSN": the same values, and every
  // setting written.
  fs::remove(root + "/sys/odbc.ini");
  platform::ComputerImage admin = computer("ADMINPC");
  ASSERT_EQ(platform::WriteImageValue(admin, key, "InstallPath", platform::StringValue(REG_SZ, install), true), 0u);
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(dataSourceSettings.dataSourceMissing, 1u);
  ASSERT_TRUE(CreateDataSource());
  EXPECT_STREQ(dataSourceSettings.dsn, "Corvane");
  EXPECT_EQ(text(admin, "DSN"), "Corvane");
  EXPECT_EQ(text(admin, "Description"), "SQLite3");
  EXPECT_EQ(text(admin, "TimeOut"), "180");
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

  // Every script of db/ holds the three tables.
  for (const char* file : {"sqlite.sql", "postgresql.sql", "mariadb.sql"}) {
    std::string script = Read(std::string(TALLYARD_SOURCE_DIR) + "/db/" + file);
    int tables = 0;
    for (const std::string& s : SplitSchemaScript(script)) tables += s.find("CREATE TABLE") != std::string::npos;
    EXPECT_EQ(tables, 3) << file;
  }
  EXPECT_EQ(SplitSchemaScript(SqliteSchema()), SplitSchemaScript(Read(std::string(TALLYARD_SOURCE_DIR) + "/db/sqlite.sql")));
}

}  // namespace

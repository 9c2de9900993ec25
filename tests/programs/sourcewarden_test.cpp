// Sourcewarden driven as a user drives it, offscreen: a data source made for each database
// connects and finds its tables, and the one made for Corvane is the one the event store
// connects to with the settings written; a refused login, a server that is down, a missing
// driver and a settings file that others can read each say so and change no file.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "frame/settings.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "programs/sourcewarden/data_source_dialog.h"
#include "programs/sourcewarden/sourcewarden_window.h"
#include "store/event_store.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
const char kKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion";
std::string odbcFolder;  // this process's ODBC configuration, made in main()

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Answers every message box that opens: `answer` where the box has it, else its first button.
class Boxes {
 public:
  explicit Boxes(QMessageBox::StandardButton answer) {
    QObject::connect(&timer, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts.push_back(box->text().toStdString());
      QAbstractButton* button = box->button(answer) ? box->button(answer) : box->buttons().first();
      QTest::mouseClick(button, Qt::LeftButton);
    });
    timer.start(10);
  }
  std::vector<std::string> texts;

 private:
  QTimer timer;
};

// The local computer as the installation leaves it: a settings key with "InstallPath".
struct Installation {
  TempNetwork net;
  std::string hive;
  Installation() {
    std::string config = net.AddComputer("ADMINPC") + "/C/WINNT/System32/config";
    fs::create_directories(config);
    hive = config + "/SOFTWARE";
    EXPECT_EQ(platform::CreateHiveFile(hive, 0600), 0u);
    platform::ComputerImage local;
    EXPECT_EQ(platform::FindComputer("ADMINPC", local), 0u);
    EXPECT_EQ(platform::WriteImageValue(local, kKey, "InstallPath", platform::StringValue(REG_SZ, net.root()), true), 0u);
  }
  // Every ODBC file and the settings hive, byte for byte.
  std::map<std::string, std::string> State() const {
    auto state = TreeState(odbcFolder);
    state["hive"] = TempNetwork::ReadFile(hive);
    return state;
  }
};

struct Server {
  DatabaseKind kind;
  std::string driver, port, user, password;
};

std::optional<Server> ServerOf(DatabaseKind kind) {
  if (kind == DatabaseKind::Postgres && !Env("TALLYARD_TEST_PG_PORT").empty())
    return Server{kind, "PostgreSQL Unicode", Env("TALLYARD_TEST_PG_PORT"), Env("TALLYARD_TEST_PG_USER"),
                  Env("TALLYARD_TEST_PG_PASSWORD")};
  if (kind == DatabaseKind::Maria && !Env("TALLYARD_TEST_MARIADB_PORT").empty())
    return Server{kind, "MariaDB Unicode", Env("TALLYARD_TEST_MARIADB_PORT"), Env("TALLYARD_TEST_MARIADB_USER"),
                  Env("TALLYARD_TEST_MARIADB_PASSWORD")};
  return std::nullopt;
}

// One statement on a connection of its own; false with the driver's word in `error`.
bool Exec(const std::string& connection, const std::string& sql, std::string* error) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string text = connection;
  bool ok = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                           nullptr, SQL_DRIVER_NOPROMPT)) &&
            SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)) &&
            SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS));
  SQLCHAR state[6] = {}, message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!ok) SQLGetDiagRec(stmt ? SQL_HANDLE_STMT : SQL_HANDLE_DBC, stmt ? stmt : dbc, 1, state, &native, message, 512, &length);
  *error = reinterpret_cast<char*>(state) + std::string(" ") + reinterpret_cast<char*>(message);
  if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return ok;
}

// An empty database of this process on the server, dropped afterwards.
class FreshDatabase {
 public:
  explicit FreshDatabase(const Server& server) : name("sw" + std::to_string(::getpid())) {
    // PostgreSQL: the superuser over the server's socket; MariaDB: the test login may create.
    admin = server.kind == DatabaseKind::Postgres
                ? "Driver={PostgreSQL Unicode};Servername=" + Env("TALLYARD_TEST_PG_SOCKET") + ";Port=" + server.port +
                      ";Database=postgres;UID=postgres;"
                : "Driver={MariaDB Unicode};Server=127.0.0.1;Port=" + server.port + ";UID=" + server.user +
                      ";PWD=" + server.password + ";";
    std::string owner = server.kind == DatabaseKind::Postgres ? " OWNER " + server.user : " CHARACTER SET utf8mb4";
    Exec(admin, "DROP DATABASE IF EXISTS " + name, &error);
    made = Exec(admin, "CREATE DATABASE " + name + owner, &error);
  }
  ~FreshDatabase() { Exec(admin, "DROP DATABASE IF EXISTS " + name, &error); }
  std::string name, admin, error;
  bool made = false;
};

void Type(QDialog& dialog, const char* field, const std::string& text) {
  auto* edit = dialog.findChild<QLineEdit*>(field);
  ASSERT_NE(edit, nullptr) << field;
  edit->clear();
  QTest::keyClicks(edit, QString::fromStdString(text));
}

void Choose(QDialog& dialog, const char* combo, const QVariant& data) {
  auto* box = dialog.findChild<QComboBox*>(combo);
  ASSERT_NE(box, nullptr) << combo;
  ASSERT_GE(box->findData(data), 0) << combo << " has no " << data.toString().toStdString();
  box->setCurrentIndex(box->findData(data));
}

// Fills a new data source's dialog; the password only for a server.
void FillIn(DataSourceDialog& dialog, DatabaseKind kind, const std::string& name, const std::string& driver,
            const std::string& fileOrPort, const std::string& database = "", const std::string& user = "",
            const std::string& password = "") {
  Choose(dialog, "kind", static_cast<int>(kind));
  Choose(dialog, "driver", QString::fromStdString(driver));
  Type(dialog, "name", name);
  if (kind == DatabaseKind::Sqlite) {
    Type(dialog, "file", fileOrPort);
    return;
  }
  Type(dialog, "server", "127.0.0.1");
  Type(dialog, "port", fileOrPort);
  Type(dialog, "database", database);
  Type(dialog, "user", user);
  Type(dialog, "password", password);
}

void PressOk(DataSourceDialog& dialog) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

std::string Setting(const char* name) {
  platform::ComputerImage local;
  platform::RegistryValue v;
  if (platform::FindComputer("ADMINPC", local) != 0 || platform::ReadImageValue(local, kKey, name, v) != 0)
    return "(missing)";
  if (v.type != REG_DWORD) return platform::ValueText(v);
  return std::to_string(static_cast<unsigned char>(v.data[0]));
}

class NewDataSource : public ::testing::TestWithParam<DatabaseKind> {};

TEST_P(NewDataSource, ConnectsFindsItsTablesAndIsTheOneCorvaneUses) {
  DatabaseKind kind = GetParam();
  std::optional<Server> server = ServerOf(kind);
  if (kind != DatabaseKind::Sqlite && !server)
    GTEST_SKIP() << "no test server for this database (run scripts/services start and source its env file)";
  Installation installation;
  std::unique_ptr<FreshDatabase> database;
  if (server) {
    database = std::make_unique<FreshDatabase>(*server);
    ASSERT_TRUE(database->made) << database->error;
  }
  const std::string name = kind == DatabaseKind::Sqlite ? "SwSqlite" : kind == DatabaseKind::Postgres ? "SwPg" : "SwMaria";
  const std::string driver = server ? server->driver : "SQLite3";
  const std::string file = installation.net.root() + "/events.db";

  DataSourceSettings corvane{};  // installed, no data source yet
  DataSourceDialog dialog(platform::ListOdbcDrivers(), platform::ListDataSources(), nullptr, &corvane);
  dialog.show();
  if (server) FillIn(dialog, kind, name, driver, server->port, database->name, server->user, server->password);
  else FillIn(dialog, kind, name, driver, file);
  dialog.findChild<QCheckBox*>("forCorvane")->setChecked(true);
  {
    // Asked once: to make the SQLite file, or the tables of the empty server database.
    Boxes boxes(QMessageBox::Yes);
    PressOk(dialog);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(server ? "lacks log tables" : "does not exist yet"), std::string::npos) << boxes.texts[0];
  }
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  std::string ini = TempNetwork::ReadFile(odbcFolder + "/odbc.ini");
  EXPECT_NE(ini.find("[" + name + "]"), std::string::npos) << ini;
  if (server) {
    EXPECT_EQ(ini.find(server->password), std::string::npos) << "the password went to odbc.ini:\n" << ini;
  }
  EXPECT_EQ(Setting("DSN"), name);
  EXPECT_EQ(Setting("Type"), std::to_string(static_cast<int>(kind)));
  EXPECT_EQ(Setting("Description"), driver);
  EXPECT_EQ(Setting("Password"), server ? server->password : "");
  EXPECT_EQ(Setting("RegAccess"), "0");

  // Corvane reads its settings back and the event store connects with them.
  ASSERT_TRUE(CheckDataSource());
  EventStore store;
  ASSERT_TRUE(store.OpenEnvironment());
  ASSERT_TRUE(store.Connect(nullptr, dataSourceSettings)) << store.SqlState() << " " << store.Message();
  for (const char* table : {"Application", "Security", "System"}) {
    TIMESTAMP_STRUCT stamp{};
    SQLINTEGER count = -1;
    EXPECT_TRUE(store.QueryResumePoint(nullptr, table, "SRV1", &stamp, &count)) << table << ": " << store.Message();
    EXPECT_EQ(count, 0);
  }
  EXPECT_TRUE(store.Finish(nullptr));
  store.ReleaseEnvironment();

  // The window shows it as Corvane's.
  SourcewardenWindow window;
  auto found = window.findChild<QTreeWidget*>("sources")->findItems(QString::fromStdString(name), Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found[0]->text(4), "Corvane");
  std::string error;
  ASSERT_TRUE(platform::RemoveDataSource(name, platform::DataSourceScope::System, &error)) << error;
}

INSTANTIATE_TEST_SUITE_P(Databases, NewDataSource,
                         ::testing::Values(DatabaseKind::Sqlite, DatabaseKind::Postgres, DatabaseKind::Maria),
                         [](const ::testing::TestParamInfo<DatabaseKind>& kind) {
                           return std::string(kind.param == DatabaseKind::Sqlite     ? "SQLite"
                                              : kind.param == DatabaseKind::Postgres ? "PostgreSQL"
                                                                                     : "MariaDB");
                         });

TEST(Sourcewarden, RefusalsSayWhyAndChangeNothing) {
  Installation installation;
  std::string file = installation.net.root() + "/events.db";
  TempNetwork::WriteFile(file, "");
  std::optional<Server> server = ServerOf(DatabaseKind::Postgres);
  if (!server) server = ServerOf(DatabaseKind::Maria);
  const std::string down = "1";  // nothing listens on the loopback's port 1
  struct Case {
    const char* what;
    std::function<void(DataSourceDialog&)> fill;
    const char* expected;
    bool needsServer = false;
    std::function<void()> arrange = [] {};
  };
  const Case cases[] = {
      {"wrong password",
       [&](DataSourceDialog& d) {
         FillIn(d, server->kind, "SwRefused", server->driver, server->port, "tallyard", server->user, "not-the-password");
       },
       "The server refused the login", true},
      {"server down",
       [&](DataSourceDialog& d) { FillIn(d, DatabaseKind::Postgres, "SwDown", "PostgreSQL Unicode", down, "tallyard", "tallyard", "pw"); },
       "No database server answers at 127.0.0.1:"},
      // Debian registers "SQLite" without shipping its library.
      {"missing driver",
       [&](DataSourceDialog& d) { FillIn(d, DatabaseKind::Sqlite, "SwNoDriver", "SQLite", file); },
       "The ODBC driver \"SQLite\" cannot be loaded"},
      {"settings readable by others",
       [&](DataSourceDialog& d) {
         FillIn(d, DatabaseKind::Postgres, "SwOpen", "PostgreSQL Unicode", down, "tallyard", "tallyard", "secret");
         d.findChild<QCheckBox*>("forCorvane")->setChecked(true);
       },
       "which other users can read", false,
       [&] {
         // The temporary folder is closed to others by itself; open it as a careless one would be.
         ::chmod(installation.net.root().c_str(), 0755);
         ::chmod(installation.hive.c_str(), 0644);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsServer && !server) {
      std::cerr << "*** " << c.what << " SKIPPED: no PostgreSQL or MariaDB test server ***\n";
      continue;
    }
    c.arrange();
    const auto before = installation.State();
    DataSourceSettings corvane{};  // installed, no data source yet
    DataSourceDialog dialog(platform::ListOdbcDrivers(), platform::ListDataSources(), nullptr, &corvane);
    dialog.show();
    c.fill(dialog);
    Boxes boxes(QMessageBox::Yes);
    PressOk(dialog);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(c.expected), std::string::npos) << boxes.texts[0];
    EXPECT_NE(boxes.texts[0].find("Nothing was changed."), std::string::npos) << boxes.texts[0];
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(installation.State(), before);
  }
}

TEST(Sourcewarden, CommandLine) {
  const std::string program = Quoted(std::string(TALLYARD_BINARY_DIR) + "/programs/sourcewarden/sourcewarden");
  struct Case {
    std::string args;
    int exitCode;
    const char* output;
  };
  const Case cases[] = {
      {"--version", 0, "sourcewarden "},
      {"--help", 0, "usage: sourcewarden"},
      {"--bogus", 2, "usage: sourcewarden"},
      {"", 1, "no display"},  // started where there is no display at all
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunTool("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program + " " + c.args, &out), c.exitCode)
        << c.args << ": " << out;
    EXPECT_NE(out.find(c.output), std::string::npos) << c.args << ": " << out;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The installer keeps the first ODBC folder it is given for the whole process: this one.
  char tmpl[] = "/tmp/tallyard-sourcewarden-XXXXXX";
  odbcFolder = ::mkdtemp(tmpl);
  std::string drivers = TempNetwork::ReadFile("/etc/odbcinst.ini");
  for (size_t at; (at = drivers.find("CommLog=1")) != std::string::npos;) drivers.replace(at, 9, "CommLog=0");
  TempNetwork::WriteFile(odbcFolder + "/odbcinst.ini", drivers);
  TempNetwork::WriteFile(odbcFolder + "/odbc.ini", "");
  TempNetwork::WriteFile(odbcFolder + "/user.ini", "");
  ::setenv("ODBCSYSINI", odbcFolder.c_str(), 1);
  ::setenv("ODBCINI", (odbcFolder + "/user.ini").c_str(), 1);
  // Qt makes a runtime folder of its own in /tmp when none is named.
  ::setenv("XDG_RUNTIME_DIR", odbcFolder.c_str(), 0);
  int result;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  fs::remove_all(odbcFolder);
  return result;
}

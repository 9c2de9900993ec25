// Sourcewarden driven as a user drives it, offscreen: a data source made for each database
// connects and finds its tables, and the one made for Corvane is the one the event store
// connects to with the settings written; a refused login, a server that is down, a missing
// driver and a settings file that others can read each say so and change no file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>

#include "programs/sourcewarden/data_source_dialog.h"
#include "programs/sourcewarden/sourcewarden_window.h"
#include "store/event_store.h"
#include "tests/support/installation.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/qt_ui.h"
#include "tests/support/tool_run.h"

namespace {

std::string Env(const char* name) { return ::getenv(name) ? ::getenv(name) : ""; }

// This process's ODBC configuration, made before any ODBC call (the installer keeps the first
// folder it is given for the whole process) and removed at exit.
struct OdbcFolder {
  const std::string path = MakeTempFolder("tallyard-sourcewarden");
  OdbcFolder() {
    WriteOdbcDrivers(path);
    TempNetwork::WriteFile(path + "/odbc.ini", ""), TempNetwork::WriteFile(path + "/user.ini", "");
    ::setenv("ODBCSYSINI", path.c_str(), 1), ::setenv("ODBCINI", (path + "/user.ini").c_str(), 1);
  }
  ~OdbcFolder() { std::filesystem::remove_all(path); }
};
const OdbcFolder odbc;
const std::string& odbcFolder = odbc.path;

// Answers every message box that opens: `answer` where the box has it, else its first button.
class Boxes {
 public:
  explicit Boxes(QMessageBox::StandardButton answer) {
    QObject::connect(&timer, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts.push_back(box->text().toStdString());
      QTest::mouseClick(box->button(answer) ? box->button(answer) : box->buttons().first(), Qt::LeftButton);
    });
    timer.start(10);
  }
  std::vector<std::string> texts;

 private:
  QTimer timer;
};

// Every ODBC file and the settings hive, byte for byte.
std::map<std::string, std::string> State(const Installation& installed) {
  std::string hive;
  EXPECT_EQ(platform::ImageHiveFile(installed.local, "SOFTWARE", hive), 0u);
  auto state = TreeState(odbcFolder);
  state["hive"] = TempNetwork::ReadFile(hive);
  return state;
}

struct Server {
  DatabaseKind kind;
  std::string driver, port, user, password;
};

std::optional<Server> ServerOf(DatabaseKind kind) {
  const char* prefix = kind == DatabaseKind::Postgres ? "TALLYARD_TEST_PG_" : "TALLYARD_TEST_MARIADB_";
  if (kind == DatabaseKind::Sqlite || Env((prefix + std::string("PORT")).c_str()).empty()) return std::nullopt;
  auto env = [&](const char* what) { return Env((prefix + std::string(what)).c_str()); };
  return Server{kind, kind == DatabaseKind::Postgres ? "PostgreSQL Unicode" : "MariaDB Unicode", env("PORT"), env("USER"),
                env("PASSWORD")};
}

// An empty database of this process on the server, dropped afterwards: PostgreSQL's made by the
// superuser over the server's socket, MariaDB's by the test login, which may create.
class FreshDatabase {
 public:
  explicit FreshDatabase(const Server& server) : name("sw" + std::to_string(::getpid())) {
    const bool pg = server.kind == DatabaseKind::Postgres;
    client = pg ? "psql -qX -v ON_ERROR_STOP=1 -h " + Quoted(Env("TALLYARD_TEST_PG_SOCKET")) + " -p " + server.port +
                      " -U postgres -d postgres -c "
                : "MYSQL_PWD=" + Quoted(server.password) + " mariadb --no-defaults -h 127.0.0.1 -P " + server.port +
                      " -u " + Quoted(server.user) + " -e ";
    RunTool(client + Quoted("DROP DATABASE IF EXISTS " + name));
    made = RunTool(client + Quoted("CREATE DATABASE " + name + (pg ? " OWNER " + server.user : " CHARACTER SET utf8mb4")),
                   &error) == 0;
  }
  ~FreshDatabase() { RunTool(client + Quoted("DROP DATABASE IF EXISTS " + name)); }
  std::string name, client, error;
  bool made = false;
};

// Fills a new data source's dialog (installed, no data source yet); the server's fields only for a server.
void FillIn(DataSourceDialog& dialog, DatabaseKind kind, const std::string& name, const std::string& driver,
            const std::string& fileOrPort, const std::string& database = "", const std::string& user = "",
            const std::string& password = "") {
  for (const auto& [combo, data] : {std::pair<const char*, QVariant>{"kind", static_cast<int>(kind)}, {"driver", QString::fromStdString(driver)}}) {
    auto* box = dialog.findChild<QComboBox*>(combo);
    ASSERT_GE(box->findData(data), 0) << combo << " has no " << data.toString().toStdString();
    box->setCurrentIndex(box->findData(data));
  }
  std::vector<std::pair<const char*, std::string>> fields = {{"name", name}};
  if (kind == DatabaseKind::Sqlite) fields.push_back({"file", fileOrPort});
  else fields.insert(fields.end(), {{"server", "127.0.0.1"}, {"port", fileOrPort}, {"database", database}, {"user", user}, {"password", password}});
  for (const auto& [field, text] : fields) {
    auto* edit = dialog.findChild<QLineEdit*>(field);
    ASSERT_NE(edit, nullptr) << field;
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(text));
  }
}

void PressOk(DataSourceDialog& dialog) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

class NewDataSource : public ::testing::TestWithParam<DatabaseKind> {};

TEST_P(NewDataSource, ConnectsFindsItsTablesAndIsTheOneCorvaneUses) {
  DatabaseKind kind = GetParam();
  std::optional<Server> server = ServerOf(kind);
  if (kind != DatabaseKind::Sqlite && !server)
    GTEST_SKIP() << "no test server for this database (run scripts/services start and source its env file)";
  TempNetwork net;
  Installation installed(net);
  std::unique_ptr<FreshDatabase> database;
  if (server) {
    database = std::make_unique<FreshDatabase>(*server);
    ASSERT_TRUE(database->made) << database->error;
  }
  const std::string name = kind == DatabaseKind::Sqlite ? "SwSqlite" : kind == DatabaseKind::Postgres ? "SwPg" : "SwMaria";
  const std::string driver = server ? server->driver : "SQLite3", password = server ? server->password : "";

  DataSourceSettings corvane{};
  DataSourceDialog dialog(platform::ListOdbcDrivers(), platform::ListDataSources(), nullptr, &corvane);
  dialog.show();
  if (server) FillIn(dialog, kind, name, driver, server->port, database->name, server->user, password);
  else FillIn(dialog, kind, name, driver, net.root() + "/events.db");
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
  EXPECT_TRUE(!server || ini.find(password) == std::string::npos) << "the password went to odbc.ini:\n" << ini;
  std::string stored;
  for (const char* value : {"DSN", "Type", "Description", "Password", "RegAccess"}) stored += installed.Stored(Program::Corvane, value) + "|";
  EXPECT_EQ(stored, name + "|" + std::to_string(static_cast<int>(kind)) + "|" + driver + "|" + password + "|0|");

  // Corvane reads its settings back and the event store connects with them.
  ASSERT_TRUE(CheckDataSource());
  EventStore store;
  ASSERT_TRUE(store.OpenEnvironment());
  ASSERT_TRUE(store.Connect(nullptr, dataSourceSettings)) << store.SqlState() << " " << store.Message();
  for (const char* table : {"Application", "Security", "System"}) {
    TIMESTAMP_STRUCT stamp{};
    SQLINTEGER count = -1;
    EXPECT_TRUE(store.QueryResumePoint(nullptr, table, "SRV1", &stamp, &count) && count == 0) << table << ": " << store.Message();
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

INSTANTIATE_TEST_SUITE_P(Databases, NewDataSource, ::testing::Values(DatabaseKind::Sqlite, DatabaseKind::Postgres, DatabaseKind::Maria),
                         [](const auto& kind) {
                           return std::string(kind.param == DatabaseKind::Sqlite ? "SQLite" : kind.param == DatabaseKind::Postgres ? "PostgreSQL" : "MariaDB");
                         });

TEST(Sourcewarden, RefusalsSayWhyAndChangeNothing) {
  TempNetwork net;
  Installation installed(net);
  const std::string file = net.root() + "/events.db", down = "1";  // nothing listens on the loopback's port 1
  TempNetwork::WriteFile(file, "");
  std::optional<Server> server = ServerOf(DatabaseKind::Postgres);
  if (!server) server = ServerOf(DatabaseKind::Maria);
  const struct {
    const char* what;
    std::function<void(DataSourceDialog&)> fill;
    const char* expected;
  } cases[] = {
      {"wrong password",
       [&](DataSourceDialog& d) { FillIn(d, server->kind, "SwRefused", server->driver, server->port, "tallyard", server->user, "not-the-password"); },
       "The server refused the login"},
      {"server down",
       [&](DataSourceDialog& d) { FillIn(d, DatabaseKind::Postgres, "SwDown", "PostgreSQL Unicode", down, "tallyard", "tallyard", "pw"); },
       "No database server answers at 127.0.0.1:"},
      // Debian registers "SQLite" without shipping its library.
      {"missing driver", [&](DataSourceDialog& d) { FillIn(d, DatabaseKind::Sqlite, "SwNoDriver", "SQLite", file); },
       "The ODBC driver \"SQLite\" cannot be loaded"},
      {"settings readable by others",
       [&](DataSourceDialog& d) {
         // The temporary folder is closed to others by itself; open it as a careless one would be.
         std::string hive;
         platform::ImageHiveFile(installed.local, "SOFTWARE", hive);
         ::chmod(net.root().c_str(), 0755), ::chmod(hive.c_str(), 0644);
         FillIn(d, DatabaseKind::Postgres, "SwOpen", "PostgreSQL Unicode", down, "tallyard", "tallyard", "secret");
         d.findChild<QCheckBox*>("forCorvane")->setChecked(true);
       },
       "which other users can read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.expected == cases[0].expected && !server) {
      std::cerr << "*** " << c.what << " SKIPPED: no PostgreSQL or MariaDB test server ***\n";
      continue;
    }
    DataSourceSettings corvane{};
    DataSourceDialog dialog(platform::ListOdbcDrivers(), platform::ListDataSources(), nullptr, &corvane);
    dialog.show();
    const auto before = State(installed);
    c.fill(dialog);
    Boxes boxes(QMessageBox::Yes);
    PressOk(dialog);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(c.expected), std::string::npos) << boxes.texts[0];
    EXPECT_NE(boxes.texts[0].find("Nothing was changed."), std::string::npos) << boxes.texts[0];
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(State(installed), before);
  }
}

}  // namespace

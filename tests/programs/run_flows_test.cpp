// Go in both programs as a person presses it, on the programs' own windows: the confirmation,
// the progress window and the report, over a small image network and the SQLite data source;
// and Corvane's first data source, made in the manager it offers.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <sstream>

#include "audit/audit_policy.h"
#include "frame/list_file.h"
#include "platform/core/threads.h"
#include "programs/corvane/corvane_window.h"
#include "programs/corvane/strings.h"
#include "programs/praxon/praxon_window.h"
#include "programs/praxon/strings.h"
#include "programs/sourcewarden/sourcewarden_window.h"
#include "store/data_source.h"
#include "store/schema.h"
#include "tests/frame/main_window_test.h"
#include "tests/store/backends.h"
#include "tests/support/gather_support.h"
#include "tests/support/tool_run.h"

namespace {

using storetest::Kind;

// A progress window that has not closed within the bound is a failure, not a hung test.
struct Watchdog {
  QTimer timer;
  Watchdog() {
    timer.callOnTimeout([] {
      if (QWidget* w = QApplication::activeModalWidget())
        ADD_FAILURE() << "\"" << w->windowTitle().toStdString() << "\" is still open", w->hide();  // hiding ends its loop
    });
    timer.start(30000);
  }
};

class RunFlowTest : public MainWindowTest {
 protected:
  static void SetUpTestSuite() {
    platform::KeepInstallerLoaded();
    storetest::ConfigureProcess();
  }

  // The program's main window over this computer and the domain's SRV1 and SRV2 (and `more`).
  void Open(bool corvane, std::initializer_list<const char*> more = {}) {
    appState = AppState{};
    appState.program = corvane ? Program::Corvane : Program::Praxon;
    SetStringTable(corvane ? corvaneStrings : praxonStrings);
    const MainWindowBinding& binding = corvane ? corvaneMainWindow : praxonMainWindow;
    Bind(binding);
    const platform::HostInfo host = Install();
    std::filesystem::copy_file(TALLYARD_BINARY_DIR "/programs/sourcewarden/sourcewarden",
                               installed->install + "/sourcewarden");  // as the installation places it
    for (const char* name : {"SRV1", "SRV2"}) gathertest::AddComputer(name, host);
    for (const char* name : more) gathertest::AddComputer(name, host);
    if (corvane && namedDataSource) {
      std::string error;
      ASSERT_TRUE(storetest::FreshTables(Kind::Sqlite, &error)) << error;
      ASSERT_TRUE(StoreDataSourceSettings(storetest::Settings(Kind::Sqlite), &error)) << error;
    } else if (corvane) {
      ASSERT_EQ(platform::WriteImageValue(installed->local, Installation::Key(Program::Corvane), "DSN",
                                          platform::StringValue(REG_SZ, "")), 0u);
    }
    Show(binding);
  }

  // Go, the confirmation answered with `button` (its list noted), then `during` on the progress
  // window once `ready` holds for it. Returns when Go has returned.
  void Go(int button, std::function<void(QWidget*)> during = {}, std::function<bool(QWidget*)> ready = {}) {
    confirmed.clear();
    WhenModal([=, this](QWidget* confirm) {
      for (auto* item : Control<QListWidget>(confirm, 1002)->findItems("*", Qt::MatchWildcard))
        confirmed.push_back(item->text().toStdString());
      okEnabled = Control<QAbstractButton>(confirm, 1)->isEnabled();
      KeepScreenshot(confirm, appState.program == Program::Corvane ? "corvane-confirm" : "praxon-confirm");
      if (during) WhenModal(during, ready);
      Press(confirm, button);
    });
    Watchdog watchdog;
    Press(window.get(), 1003);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a window of the run is still open";
  }

  // The report's outcome lines, without the banner and the totals.
  std::string Outcomes() const {
    std::istringstream in(TempNetwork::ReadFile(runLog.fileName));
    std::string out;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("Success\t", 0) == 0 || line.rfind("Error\t", 0) == 0) out += line + "\n";
    return out;
  }
  static long long StoredRows() {
    return storetest::Probe(Kind::Sqlite).Scalar("SELECT (SELECT COUNT(*) FROM System) + (SELECT COUNT(*) FROM Application)").value_or(-1);
  }
  // The computer's audit policy as hostkit shows it.
  std::string Policy(const char* computer) const {
    std::string out;
    RunTool(Quoted(TALLYARD_BINARY_DIR "/tools/hostkit/hostkit") + " policy " + computer + " --network " + Quoted(net.network()), &out);
    return out.substr(0, out.find('\n'));
  }

  std::vector<std::string> confirmed;
  bool okEnabled = false;
  bool namedDataSource = true;
};

std::string Lines(const char* outcome, std::initializer_list<const char*> computers, const char* status) {
  std::string out;
  for (const char* c : computers)
    for (const char* log : {"System     ", "Security   ", "Application"})
      out += std::string(outcome) + "\t" + c + "\t" + log + "\t" + status + "\t0\n";
  return out;
}

TEST_F(RunFlowTest, CorvaneGathersTheSelectedComputersCancelledOrToTheEnd) {
  Open(true, {"BIG"});
  gathertest::Append("BIG", "System", gathertest::Records(4000, 1700000000, "BIG"));
  for (const char* name : {"SRV1", "SRV2"})
    gathertest::Append(name, "System", gathertest::Records(30, 1700000000, name)),
        gathertest::Append(name, "Application", gathertest::Records(12, 1700000000, name));

  // Nothing selected: the confirmation offers nothing and no run takes place.
  Select({});
  Go(2);
  EXPECT_TRUE(confirmed.empty() && !okEnabled);
  EXPECT_FALSE(std::filesystem::exists(runLog.fileName));

  // A worker that cannot start: the window closes by itself, nothing was reached.
  Select({"SRV1", "SRV2"});
  platform::testing::FailThreadStarts(1);
  Go(1);
  EXPECT_EQ(confirmed, (std::vector<std::string>{"SRV1", "SRV2"}));
  EXPECT_EQ(Outcomes(), Lines("Error", {"SRV1", "SRV2"}, "OPERATION CANCELLED"));

  // Cancel while BIG's System log is under way: what the run had not finished is reported so.
  Select({"BIG", "SRV1"});
  Go(1, [](QWidget* progress) { Press(progress, 2); },
     [](QWidget* w) { return Control<QProgressBar>(w, 1024) && Control<QProgressBar>(w, 1024)->value() > 0; });
  EXPECT_EQ(Outcomes(), Lines("Error", {"BIG", "SRV1"}, "OPERATION CANCELLED"));
  EXPECT_LT(StoredRows(), 4000);

  // To the end: every log of both computers, every record once.
  const long long before = StoredRows();
  Select({"SRV1", "SRV2"});
  Go(1);
  EXPECT_EQ(Outcomes(), Lines("Success", {"SRV1", "SRV2"}, "OPERATION COMPLETED"));
  EXPECT_EQ(StoredRows() - before, 2 * (30 + 12));
}

TEST_F(RunFlowTest, PraxonSetsThePolicyOfTheSelectedComputers) {
  platform::HostInfo xp;
  xp.domain = "LAB", xp.version = "5.1";
  gathertest::AddComputer("WKS1", xp);  // the 2000/XP layout
  Open(false);
  const std::string nothing = "Auditing Disabled";
  policySettings = PolicySettings{};
  policySettings.successChoices[1] = policySettings.failureChoices[1] = AuditChoice::On;
  policySettings.failureChoices[0] = AuditChoice::On;

  Select({});
  Go(2);
  EXPECT_TRUE(confirmed.empty() && !okEnabled && Policy("SRV1") == nothing);

  Select({"SRV1", "WKS1"});
  Go(1);
  EXPECT_EQ(confirmed, (std::vector<std::string>{"SRV1", "WKS1"}));
  const std::string set = "+rLfupsg -RLfupsg";
  EXPECT_EQ(Outcomes(), "Success\tSRV1\tOPERATION COMPLETED\t0\t" + set + "\nSuccess\tWKS1\tOPERATION COMPLETED\t0\t" + set + "\n");
  EXPECT_EQ(Policy("SRV1") + " " + Policy("WKS1") + " " + Policy("SRV2"), set + " " + set + " " + nothing);
}

// The processes running the program at `path`.
int Running(const std::string& path) {
  int n = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) n += std::filesystem::read_symlink(entry.path() / "exe", ec).string() == path;
  return n;
}

// Clicks `answer` in the next message box.
void AnswerBox(QMessageBox::StandardButton answer, std::string& text) {
  WhenModal(
      [answer, &text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        text = box->text().toStdString();
        QTest::mouseClick(box->button(answer), Qt::LeftButton);
      },
      [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; });
}

TEST_F(RunFlowTest, CorvaneWithNoDataSourceOffersSourcewardenAndGathersIntoTheOneItMakes) {
  if (RunTool("command -v sqlite3") != 0) GTEST_SKIP() << "sqlite3 is not installed";
  namedDataSource = false;
  std::filesystem::permissions(net.root() + "/run", std::filesystem::perms::owner_all);  // as Qt wants it
  SeenBox offer;
  WhenBox(offer);
  Open(true);
  EXPECT_EQ(offer.caption + ": " + offer.text, "Warning: You need to specify Data Source.");
  const std::string manager = installed->install + "/sourcewarden";
  EXPECT_EQ(Running(manager), 1) << "the install folder's manager was started";

  // The data source is made in the manager's own window, driven here: a second process's window
  // is out of a test's reach.
  const std::string database = net.root() + "/lab.db";
  std::string question;
  SourcewardenWindow sourcewarden;
  sourcewarden.show();
  WhenModal([&](QWidget* dialog) {
    auto choose = [&](const char* name, const QVariant& data) {
      auto* box = dialog->findChild<QComboBox*>(name);
      box->setCurrentIndex(box->findData(data));
    };
    choose("kind", static_cast<int>(DatabaseKind::Sqlite));
    choose("driver", "SQLite3");
    QTest::keyClicks(dialog->findChild<QLineEdit*>("name"), "LabEvents");
    QTest::keyClicks(dialog->findChild<QLineEdit*>("file"), QString::fromStdString(database));
    dialog->findChild<QRadioButton*>("userScope")->setChecked(true);  // this process's odbc.ini
    dialog->findChild<QCheckBox*>("forCorvane")->setChecked(true);
    AnswerBox(QMessageBox::Yes, question);
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
  });
  QTest::mouseClick(sourcewarden.findChild<QPushButton*>("add"), Qt::LeftButton);
  EXPECT_NE(question.find("does not exist yet"), std::string::npos) << question;

  // The next gather reads the new values and stores into that database.
  for (const char* name : {"SRV1", "SRV2"}) gathertest::Append(name, "System", gathertest::Records(30, 1700000000, name));
  Select({"SRV1", "SRV2"});
  Go(1);
  EXPECT_EQ(Outcomes(), Lines("Success", {"SRV1", "SRV2"}, "OPERATION COMPLETED"));
  std::string rows;
  EXPECT_EQ(RunTool("sqlite3 " + Quoted(database) + " 'SELECT COUNT(*) FROM System'", &rows), 0);
  EXPECT_EQ(rows, "60\n");

  // Exit ends the manager and keeps its choice.
  Press(window.get(), 109);
  for (int i = 0; i < 500 && Running(manager); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Running(manager), 0);
  EXPECT_EQ(installed->Stored(Program::Corvane, "DSN") + " " + installed->Stored(Program::Corvane, "RegAccess"),
            "LabEvents 1");
}

}  // namespace

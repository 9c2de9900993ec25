// The frame's windows driven headless as a person drives them: the main window's set-up, list,
// buttons, Action box, Exit and close box; Options; About; the run's confirmation and progress
// windows with a worker of the test's own.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <atomic>
#include <thread>

#include "frame/dialogs.h"
#include "frame/list_file.h"
#include "frame/message_box.h"
#include "frame/run_progress.h"
#include "frame/settings.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "programs/praxon/praxon_icon.xpm"
#include "tests/frame/main_window_test.h"
#include "tests/support/fake_opener.h"

namespace {

using Names = std::vector<std::string>;
int actionOpened = 0, childEnded = 0;

MainWindowBinding Binding(bool corvane) {
  return {.title = corvane ? "Corvane" : "Praxon",
          .actionEntries = {corvane ? "Gather Event Logs" : "Set Audit Policy",
                            corvane ? "Gather Event Logs..." : "Set Audit Policy..."},
          .helpContext = 1001,
          .aboutText = "Corvane Version 0.1",
          .icon = corvane ? corvane_icon_xpm : praxon_icon_xpm,
          .progressBar = corvane,
          .centredTexts = !corvane,
          .browseNetwork = [] { return BrowseNetwork(); },
          .actionSettings = [](HWND main) { ++actionOpened, AboutDialog(main, "About Tallyard"); },
          .endChildProcess = corvane ? +[] { ++childEnded; } : nullptr};
}

class DesktopTest : public MainWindowTest {
 protected:
  void SetUp() override {
    appState = AppState{}, runLog = RunLog{}, actionOpened = childEnded = 0;
    SetStringTable(corvaneStrings), Bind(binding);
  }
  void TearDown() override {
    if (worker.joinable()) worker.join();
    MainWindowTest::TearDown();
  }

  void UseProgram(bool corvane) {
    appState.program = corvane ? Program::Corvane : Program::Praxon;
    Bind(binding = Binding(corvane));
  }

  // This computer and two more of the domain LAB, then the main window over them.
  void Open() {
    platform::HostInfo host = Install();
    net.AddComputer("WKS1", host);
    host.role = "pdc";
    net.AddComputer("SRV1", host);
    Show(binding);
  }

  // Answers the next file chooser with `path`.
  static void Choose(const std::string& path) {
    WhenModal([path](QWidget* w) {
      qobject_cast<QFileDialog*>(w)->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(w)->accept();  // the file dialog's own accept takes the name
    });
  }

  MainWindowBinding binding = Binding(true);
  std::thread worker;  // a run's, of the test's own
};

TEST_F(DesktopTest, ListsTravelThroughImportAndExportWithTheirSelection) {
  Open();
  EXPECT_EQ(Rows(), (Names{"ADMINPC*", "SRV1*", "WKS1*"})) << "known types start selected";
  KeepScreenshot(window.get(), "corvane-main");
  TempNetwork::WriteFile(net.root() + "/lab.imp", "\\\\SRV1 the first\nNOSUCH\n");
  Choose(net.root() + "/lab.imp");
  Press(window.get(), 1013);
  EXPECT_EQ(Rows(), (Names{"SRV1*", "NOSUCH"})) << "the unknown name stays unselected";
  // Export writes what is highlighted at the moment it is pressed.
  Control<QTreeWidget>(window.get(), 1002)->topLevelItem(1)->setSelected(true);
  Choose(net.root() + "/out.exp");
  Press(window.get(), 1004);
  EXPECT_EQ(TempNetwork::ReadFile(net.root() + "/out.exp"),
            "SRV1\tWindows NT Primary Domain Controller (4.0)\nNOSUCH\tUnknown\n");
  Press(window.get(), 1014);
  EXPECT_EQ(Rows(), (Names{"ADMINPC*", "SRV1*", "WKS1*"})) << "Fresh list browses anew";

  // The lookup's Loading window, shown at once.
  auto loading = DesktopBrowseUi()->OpenLoadingWindow(HandleOf(window.get()));
  loading->SetRange(3), loading->Step(), loading->Step();
  ASSERT_TRUE(QApplication::activeWindow() && Control<QProgressBar>(QApplication::activeWindow(), 1068));
  KeepScreenshot(QApplication::activeWindow(), "corvane-loading");
}

TEST_F(DesktopTest, ExitSavesTheSettingsAndTheCloseBoxDoesNot) {
  for (bool corvane : {true, false}) {  // Corvane leaves by Exit, Praxon by its close box
    SCOPED_TRACE(corvane ? "Exit" : "close box");
    UseProgram(corvane);
    Open();
    if (!corvane) KeepScreenshot(window.get(), "praxon-main");
    WhenModal([](QWidget* options) { Press(options, 1035), Press(options, 1); });
    Press(window.get(), 115);
    EXPECT_EQ(runLog.level, ErrorLogOnly);
    // Corvane read one data source; the manager names another while Corvane runs.
    auto dataSource = [&](const char* dsn, const char* user) {
      for (auto [name, value] : {std::pair{"DSN", platform::StringValue(REG_SZ, dsn)}, {"Description", platform::StringValue(REG_SZ, "SQLite3")},
                                 {"User", platform::StringValue(REG_SZ, user)}, {"Password", platform::StringValue(REG_SZ, "")}, {"RegAccess", platform::DwordValue(0)}})
        ASSERT_EQ(platform::WriteImageValue(installed->local, Installation::Key(Program::Corvane), name, value), 0u);
    };
    if (corvane) {
      dataSource("Corvane", "");
      ASSERT_TRUE(CheckDataSource());
      dataSource("GatherPg", "gatherer");
    }
    corvane ? Press(window.get(), 109) : void(window->close());
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(childEnded, corvane ? 1 : 0) << "Corvane ends its data-source manager";
    EXPECT_EQ(installed->Stored(appState.program, "LogFullErrorNo"), corvane ? "1" : "");
    EXPECT_EQ(installed->Stored(Program::Corvane, "DSN") + " " + installed->Stored(Program::Corvane, "User"),
              corvane ? "GatherPg gatherer" : " ") << "Exit keeps the manager's choice";
    quits = childEnded = 0;
    std::filesystem::remove_all(net.network());
  }
}

TEST_F(DesktopTest, TheActionBoxOpensItsDialogEveryTimeAndGoesBack) {
  Open();
  auto* action = Control<QComboBox>(window.get(), 1068);
  for (int round = 1; round <= 2; ++round) {
    WhenModal([](QWidget* dialog) { Press(dialog, 201); });
    QTest::keyClick(action, Qt::Key_Down);
    EXPECT_EQ(actionOpened, round);
    EXPECT_EQ(action->currentIndex(), 0);
  }
  // Choosing the first entry itself opens nothing (a dialog opened in error is closed after a while).
  QTimer guard;
  guard.callOnTimeout([] { if (QWidget* w = QApplication::activeModalWidget()) Press(w, 201); });
  guard.start(2000);
  emit action->activated(0);
  EXPECT_EQ(actionOpened, 2) << "the first entry opens nothing";
}

TEST_F(DesktopTest, HelpAndAboutFromTheMainWindow) {
  Open();
  FakeOpener opener(net.root());
  SeenBox seen;
  WhenBox(seen);
  Press(window.get(), 9);
  const std::string page = installed->install + "/help/1001.html";
  EXPECT_EQ(seen.text, "The help page " + page + " cannot be found.");
  TempNetwork::WriteFile(page, "<html></html>");
  Press(window.get(), 9);
  EXPECT_EQ(opener.Opened(), page + "\n");

  // About comes from the window's own menu, and only its OK ends it.
  std::string text;
  WhenModal([&](QWidget* box) {
    text = Control<QLabel>(box, 65534)->text().toStdString();
    box->close();
    EXPECT_TRUE(box->isVisible()) << "the close box is swallowed";
    KeepScreenshot(box, "corvane-about");
    Press(box, 201);
  });
  window->findChild<QMenu*>()->actions().value(0)->trigger();
  EXPECT_EQ(text, "Corvane Version 0.1");
}

TEST_F(DesktopTest, OptionsTakeEffectOnOkOnlyAndViewTheChosenLog) {
  FakeOpener opener(net.root());
  const std::string chosen = net.root() + "/chosen.log";
  for (int button : {2, 1}) {
    runLog = RunLog{"old.log", nullptr, FullLog, Overwrite};
    WhenModal([&](QWidget* options) {
      Choose(chosen);
      Press(options, 1033);
      auto* name = Control<QLineEdit>(options, 1029);
      EXPECT_EQ(name->text().toStdString(), chosen);
      name->setText("typed.log");  // typed but not confirmed: the viewer opens the chosen file
      Press(options, 1032), Press(options, 2036), Press(options, 2037);
      KeepScreenshot(options, "corvane-options");
      Press(options, button);
    });
    OptionsDialog(nullptr, 1002);
    EXPECT_EQ(runLog.fileName + " " + std::to_string(runLog.level) + " " + std::to_string(runLog.mode),
              button == 1 ? "typed.log 2 0" : "old.log 0 1");
  }
  EXPECT_EQ(opener.Opened(2), chosen + "\n" + chosen + "\n");
}

TEST_F(DesktopTest, AWorkersBoxHoldsItAndItsReportIsWrittenOnTheUiThread) {
  std::atomic<bool> returned{false};
  std::string shown;
  SeenBox seen;
  RunWindowSteps steps;
  steps.start = [&](RunProgress& progress) {
    EXPECT_EQ(CancelRequested, 0) << "the window clears the flag before the worker starts";
    worker = std::thread([&] {
      progress.SetText("SRV1 System"), progress.SetRange(200), progress.SetPosition(150);
      ShowErrorBox(progress.Owner(), IDS_UNABLE_TO_WRITE_LOG);
      returned = true;
      progress.Done();
    });
  };
  steps.finish = [&] {
    QWidget* w = QApplication::activeModalWidget();
    auto* bar = Control<QProgressBar>(w, 1024);
    shown = Control<QLabel>(w, 1025)->text().toStdString() + " " + std::to_string(bar->value()) + "/" +
            std::to_string(bar->maximum()) + (OnUiThread() ? " on the UI thread" : "");
    KeepScreenshot(w, "corvane-progress");
  };
  WhenBox(seen, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "the worker went on while its box was open";
    QWidget* owner = QApplication::activeModalWidget()->parentWidget();
    EXPECT_TRUE(owner && Control<QProgressBar>(owner, 1024)) << "the box belongs to the progress window";
    KeepScreenshot(QApplication::activeModalWidget(), "corvane-error-box");
  });
  CancelRequested = 1;
  GetRunWindows()->ShowProgress(nullptr, steps);
  EXPECT_EQ(seen.caption + ": " + seen.text, "Error!: UNABLE TO WRITE LOG");
  EXPECT_EQ(shown, "SRV1 System 150/200 on the UI thread");
}

TEST_F(DesktopTest, CancelOnlyAsksTheWorkerToStopAndEnterDoesNothing) {
  std::atomic<bool> release{false};
  int finished = 0;
  RunWindowSteps steps{[&](RunProgress& progress) {
                         worker = std::thread([&] {
                           for (int i = 0; i < 5000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                           progress.Done();
                         });
                       },
                       [&] { ++finished; }};
  WhenModal([&](QWidget* shown) {
    EXPECT_EQ(Control<QProgressBar>(shown, 1024), nullptr) << "Praxon's window has no bar";
    KeepScreenshot(shown, "praxon-progress");
    QTest::keyClick(shown, Qt::Key_Return);
    EXPECT_EQ(CancelRequested, 0);
    for (auto cancel : {+[](QWidget* w) { Press(w, 2); }, +[](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
                        +[](QWidget* w) { w->close(); }}) {
      cancel(shown);
      EXPECT_EQ(CancelRequested, 1);
      EXPECT_TRUE(shown->isVisible());
      CancelRequested = 0;
    }
    release = true;
  });
  UseProgram(false);
  GetRunWindows()->ShowProgress(nullptr, steps);
  EXPECT_EQ(finished, 1);
}

}  // namespace

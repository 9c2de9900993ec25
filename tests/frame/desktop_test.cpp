// The frame's windows driven headless as a person drives them: the main window's set-up, list,
// buttons, Action box, Exit and close box; Options; About; the run's confirmation and progress
// windows with a worker of the test's own; message boxes from a worker thread.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "frame/dialogs.h"
#include "frame/list_file.h"
#include "frame/main_dialog.h"
#include "frame/message_box.h"
#include "frame/run_log.h"
#include "frame/run_window.h"
#include "frame/settings.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "programs/praxon/praxon_icon.xpm"
#include "programs/praxon/strings.h"
#include "tests/support/fake_opener.h"
#include "tests/support/installation.h"
#include "tests/support/qt_ui.h"

namespace {

int actionOpened = 0;
int childEnded = 0;
bool confirmed = false;
ConfirmDialogTexts confirmTexts{"Gather Event Logs", "Gather event logs from computers:", 1008, true};

void CountedGo(HWND main) {
  SyncSelection();
  confirmed = ConfirmRunDialog(main, confirmTexts);
}
void CountedAction(HWND main) {
  ++actionOpened;
  AboutDialog(main, "About Tallyard");
}
void CountedChildEnd() { ++childEnded; }
bool Browse() { return BrowseNetwork(); }

MainWindowBinding Binding(Program program) {
  const bool corvane = program == Program::Corvane;
  return {.title = corvane ? "Corvane" : "Praxon",
          .actionEntries = {corvane ? "Gather Event Logs" : "Set Audit Policy",
                            corvane ? "Gather Event Logs..." : "Set Audit Policy..."},
          .helpContext = corvane ? 1001u : 1011u,
          .optionsHelpContext = corvane ? 1002u : 1012u,
          .aboutTitle = corvane ? "About Tallyard" : "About Praxon",
          .aboutText = corvane ? "Corvane Version 0.1" : "Praxon Version 0.1",
          .icon = corvane ? corvane_icon_xpm : praxon_icon_xpm,
          .progressTitle = corvane ? "Gathering in progress" : "Operation in progress",
          .progressBar = corvane,
          .listFileAtStart = corvane,
          .centredTexts = !corvane,
          .prepareDataSource = nullptr,
          .browseNetwork = Browse,
          .go = CountedGo,
          .actionSettings = CountedAction,
          .endChildProcess = corvane ? CountedChildEnd : nullptr};
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(Program::Corvane); }
  void TearDown() override {
    window.reset();
    UnbindDesktop();
    SetBrowseUi(nullptr);
    SetTypeLookup(nullptr);
    CloseRunLog(runLog);
    computerList.Clear();
  }

  void Start(Program program) {
    appState = AppState{};
    appState.program = program;
    runLog = RunLog{};
    computerList.Clear();
    actionOpened = childEnded = 0;
    SetStringTable(program == Program::Corvane ? corvaneStrings : praxonStrings);
    binding = Binding(program);
    BindDesktop(binding);
    SetBrowseUi(DesktopBrowseUi());
    SetTypeLookup(LookupComputerTypes);
  }

  // The lab: this computer and two more of the domain LAB.
  void Lab() {
    installed = std::make_unique<Installation>(net);
    platform::HostInfo host;
    host.domain = "LAB";
    EXPECT_EQ(platform::WriteHostInfo(net.network() + "/ADMINPC/host.ini", host), 0u);
    host.role = "pdc";
    net.AddComputer("SRV1", host);
    host.role = "workstation";
    net.AddComputer("WKS1", host);
  }

  void Open() {
    window = std::make_unique<MainDialog>(binding);
    window->quit = [this] { ++quits; };
    ASSERT_TRUE(window->Initialise());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  QTreeWidget* List() { return Control<QTreeWidget>(window.get(), 1002); }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (int i = 0; i < List()->topLevelItemCount(); ++i)
      rows.push_back(computerList[static_cast<size_t>(i)].name + (List()->topLevelItem(i)->isSelected() ? "*" : ""));
    return rows;
  }

  // Answers the next file chooser with `path`.
  static void Choose(const std::string& path) {
    WhenModal([path](QWidget* w) {
      auto* chooser = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(chooser, nullptr) << w->windowTitle().toStdString();
      chooser->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(chooser)->accept();  // the file dialog's own accept takes the name
    });
  }

  TempNetwork net;
  std::unique_ptr<Installation> installed;
  MainWindowBinding binding{};
  std::unique_ptr<MainDialog> window;
  int quits = 0;
};

TEST_F(DesktopTest, WithoutAnInstallationTheWindowSaysSoAndStops) {
  SeenBox seen;
  WhenBox(seen);
  MainDialog dialog(binding);
  EXPECT_FALSE(dialog.Initialise());
  EXPECT_EQ(seen.caption, "Error!");
  EXPECT_EQ(seen.text, "Program has not been installed correctly");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

TEST_F(DesktopTest, ListsTravelThroughImportAndExportWithTheirSelection) {
  Lab();
  Open();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ADMINPC*", "SRV1*", "WKS1*"})) << "known types start selected";
  KeepScreenshot(window.get(), "corvane-main");

  const std::string imported = net.root() + "/lab.imp";
  TempNetwork::WriteFile(imported, "\\\\SRV1 the first\nNOSUCH\n");
  Choose(imported);
  Press(window.get(), 1013);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"SRV1*", "NOSUCH"})) << "the unknown name stays unselected";
  EXPECT_EQ(computerList[1].typeText, "Unknown");

  // Export writes what is highlighted at the moment it is pressed.
  List()->topLevelItem(1)->setSelected(true);
  const std::string exported = net.root() + "/out.exp";
  Choose(exported);
  Press(window.get(), 1004);
  EXPECT_EQ(TempNetwork::ReadFile(exported), "SRV1\tWindows NT Primary Domain Controller (4.0)\nNOSUCH\tUnknown\n");

  Press(window.get(), 1014);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ADMINPC*", "SRV1*", "WKS1*"})) << "Fresh list browses anew";
}

TEST_F(DesktopTest, ExitSavesTheSettingsAndTheCloseBoxDoesNot) {
  for (bool exitButton : {true, false}) {
    SCOPED_TRACE(exitButton ? "Exit" : "close box");
    Lab();
    Open();
    WhenModal([](QWidget* options) {
      Press(options, 1035);
      Press(options, 1);
    });
    Press(window.get(), 115);
    EXPECT_EQ(runLog.level, ErrorLogOnly);
    if (exitButton) Press(window.get(), 109);
    else window->close();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(childEnded, 1) << "both end the data-source manager";
    EXPECT_EQ(installed->Stored(Program::Corvane, "LogFullErrorNo"), exitButton ? "1" : "");
    window.reset();
    quits = 0;
    childEnded = 0;
    std::filesystem::remove_all(net.network());
  }
}

TEST_F(DesktopTest, TheActionBoxOpensItsDialogEveryTimeAndGoesBack) {
  Lab();
  Open();
  auto* action = Control<QComboBox>(window.get(), 1068);
  ASSERT_EQ(action->count(), 2);
  EXPECT_EQ(action->itemText(1).toStdString(), "Gather Event Logs...");
  for (int round = 1; round <= 2; ++round) {
    WhenModal([](QWidget* dialog) { Press(dialog, 201); });
    QTest::keyClick(action, Qt::Key_Down);
    EXPECT_EQ(actionOpened, round);
    EXPECT_EQ(action->currentIndex(), 0);
  }
  QTest::keyClick(action, Qt::Key_Up);
  EXPECT_EQ(actionOpened, 2) << "the first entry opens nothing";
}

TEST_F(DesktopTest, GoConfirmsTheSelectedComputersAndRefusesAnEmptySelection) {
  Lab();
  Open();
  std::vector<std::string> names;
  bool okEnabled = false;
  auto look = [&](QWidget* dialog, int button) {
    auto* list = Control<QListWidget>(dialog, 1002);
    names.clear();
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    okEnabled = Control<QAbstractButton>(dialog, 1)->isEnabled();
    Press(dialog, button);
  };
  WhenModal([&](QWidget* d) {
    KeepScreenshot(d, "corvane-confirm");
    look(d, 1);
  });
  Press(window.get(), 1003);
  EXPECT_EQ(names, (std::vector<std::string>{"ADMINPC", "SRV1", "WKS1"}));
  EXPECT_TRUE(okEnabled);
  EXPECT_TRUE(confirmed);

  List()->clearSelection();
  confirmTexts.closeBoxCancels = false;
  WhenModal([&](QWidget* d) {
    d->close();
    EXPECT_TRUE(d->isVisible()) << "this dialog's close box does nothing";
    look(d, 2);
  });
  Press(window.get(), 1003);
  confirmTexts.closeBoxCancels = true;
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(okEnabled);
  EXPECT_FALSE(confirmed);
}

TEST_F(DesktopTest, HelpOpensItsPageOrSaysItIsMissing) {
  Lab();
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
}

TEST_F(DesktopTest, AboutComesFromTheWindowMenuAndOnlyOkEndsIt) {
  Lab();
  Open();
  QAction* about = nullptr;
  for (QAction* a : window->findChild<QMenu*>()->actions())
    if (a->text() == "&About") about = a;
  ASSERT_NE(about, nullptr);
  std::string text;
  WhenModal([&](QWidget* box) {
    text = Control<QLabel>(box, 65534)->text().toStdString();
    QTest::keyClick(box, Qt::Key_Escape);
    box->close();
    EXPECT_TRUE(box->isVisible());
    KeepScreenshot(box, "corvane-about");
    Press(box, 201);
  });
  about->trigger();
  EXPECT_EQ(text, "Corvane Version 0.1");
}

TEST_F(DesktopTest, OptionsTakeEffectOnOkOnlyAndViewTheChosenLog) {
  Lab();
  FakeOpener opener(net.root());
  const std::string chosen = net.root() + "/chosen.log";
  for (int button : {2, 1}) {
    runLog = RunLog{"old.log", nullptr, FullLog, Overwrite};
    WhenModal([&](QWidget* options) {
      Choose(chosen);
      Press(options, 1033);
      auto* name = Control<QLineEdit>(options, 1029);
      EXPECT_EQ(name->text().toStdString(), chosen);
      // Typed but not confirmed: the viewer still opens the chosen file.
      name->setText("typed.log");
      Press(options, 1032);
      Press(options, 2036);
      Press(options, 2037);
      if (button == 1) KeepScreenshot(options, "corvane-options");
      Press(options, button);
    });
    OptionsDialog(nullptr, 1002);
    const RunLog expected = button == 1 ? RunLog{"typed.log", nullptr, NoLog, Append} : RunLog{"old.log", nullptr, FullLog, Overwrite};
    EXPECT_EQ(runLog.fileName, expected.fileName) << button;
    EXPECT_EQ(runLog.level, expected.level) << button;
    EXPECT_EQ(runLog.mode, expected.mode) << button;
  }
  EXPECT_EQ(opener.Opened(2), chosen + "\n" + chosen + "\n");
}

TEST_F(DesktopTest, PraxonDrawsItsOwnMainWindow) {
  Start(Program::Praxon);
  Lab();
  Open();
  EXPECT_EQ(window->windowTitle().toStdString(), "Praxon");
  EXPECT_EQ(Control<QComboBox>(window.get(), 1068)->itemText(0).toStdString(), "Set Audit Policy");
  KeepScreenshot(window.get(), "praxon-main");
}

// The run's progress window with a worker of the test's own.
class RunWindowTest : public DesktopTest {
 protected:
  void TearDown() override {
    if (worker.joinable()) worker.join();
    DesktopTest::TearDown();
  }
  std::thread worker;
};

TEST_F(RunWindowTest, ARunToItsEndWritesItsReportOnTheUiThreadThenCloses) {
  std::string shownText;
  int barValue = -1, barMaximum = -1;
  bool finishOnUiThread = false;
  RunWindowSteps steps;
  steps.start = [&](RunProgress& progress) {
    EXPECT_EQ(CancelRequested, 0) << "the window clears the flag before the worker starts";
    worker = std::thread([&progress] {
      progress.SetText("SRV1 System");
      progress.SetRange(200);
      progress.SetPosition(150);
      progress.Done();
    });
  };
  steps.finish = [&] {
    finishOnUiThread = OnUiThread();
    QWidget* shown = QApplication::activeModalWidget();
    shownText = Control<QLabel>(shown, 1025)->text().toStdString();
    barValue = Control<QProgressBar>(shown, 1024)->value();
    barMaximum = Control<QProgressBar>(shown, 1024)->maximum();
    KeepScreenshot(shown, "corvane-progress");
  };
  CancelRequested = 1;
  GetRunWindows()->ShowProgress(nullptr, steps);
  EXPECT_TRUE(finishOnUiThread);
  EXPECT_EQ(shownText, "SRV1 System");
  EXPECT_EQ(barMaximum, 200);
  EXPECT_EQ(barValue, 150);
}

TEST_F(RunWindowTest, CancelOnlyAsksTheWorkerToStopAndEnterDoesNothing) {
  std::atomic<bool> release{false};
  int finished = 0;
  RunWindowSteps steps;
  steps.start = [&](RunProgress& progress) {
    worker = std::thread([&] {
      for (int i = 0; i < 5000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      progress.Done();
    });
  };
  steps.finish = [&] { ++finished; };
  WhenModal([&](QWidget* shown) {
    EXPECT_EQ(Control<QProgressBar>(shown, 1024), nullptr) << "Praxon's window has no bar";
    KeepScreenshot(shown, "praxon-progress");
    QTest::keyClick(shown, Qt::Key_Return);
    EXPECT_EQ(CancelRequested, 0);
    const std::function<void()> cancels[] = {[&] { Press(shown, 2); },
                                             [&] { QTest::keyClick(shown, Qt::Key_Escape); },
                                             [&] { shown->close(); }};
    for (const auto& cancel : cancels) {
      cancel();
      EXPECT_EQ(CancelRequested, 1);
      EXPECT_TRUE(shown->isVisible());
      CancelRequested = 0;
    }
    release = true;
  });
  UnbindDesktop();
  binding = Binding(Program::Praxon);
  BindDesktop(binding);
  GetRunWindows()->ShowProgress(nullptr, steps);
  EXPECT_EQ(finished, 1);
}

TEST_F(RunWindowTest, AWorkersErrorBoxHoldsTheWorkerUntilItIsClosed) {
  std::atomic<bool> returned{false};
  SeenBox seen;
  RunWindowSteps steps;
  steps.start = [&](RunProgress& progress) {
    worker = std::thread([&] {
      ShowErrorBox(progress.Owner(), IDS_UNABLE_TO_WRITE_LOG);
      returned = true;
      progress.Done();
    });
  };
  WhenBox(seen, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "the worker went on while its box was open";
    KeepScreenshot(QApplication::activeModalWidget(), "corvane-error-box");
  });
  GetRunWindows()->ShowProgress(nullptr, steps);
  EXPECT_TRUE(returned);
  EXPECT_EQ(seen.text, "UNABLE TO WRITE LOG");
  EXPECT_EQ(seen.caption, "Error!");
}

}  // namespace

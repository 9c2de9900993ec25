// Corvane's Settings dialog and the data-source manager, driven headless: the number checks,
// what OK and Cancel store, and the manager started, refused a second time and ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLineEdit>
#include <thread>

#include "frame/desktop_ui.h"
#include "frame/settings.h"
#include "platform/core/threads.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "store/data_source_manager.h"
#include "store/setting_numbers.h"
#include "store/settings_dialog.h"
#include "tests/support/installation.h"
#include "tests/support/qt_ui.h"

namespace {

TEST(SettingNumbersTest, TakesWhatFitsThirtyTwoBitsAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool valid;      // IsValidNumber
    bool taken;      // ParseSettingNumber
    DWORD value;
  } cases[] = {
      {"0", true, true, 0},
      {"180", true, true, 180},
      {"-5", true, true, 4294967291u},
      {"4294967295", true, true, 4294967295u},
      {"-2147483648", true, true, 0x80000000u},
      {"00000000000000000042", true, true, 42},
      {"4294967296", true, false, 0},
      {"-2147483649", true, false, 0},
      {"99999999999999999999", true, false, 0},
      {"-", true, false, 0},
      {"", false, false, 0},
      {"12a", false, false, 0},
      {" 12", false, false, 0},
      {"1-2", false, false, 0},
      {"+12", false, false, 0},
      {"123456789012345678901", false, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidNumber(c.text), c.valid) << c.text;
    DWORD value = 12345;
    EXPECT_EQ(ParseSettingNumber(c.text, value), c.taken) << c.text;
    EXPECT_EQ(value, c.taken ? c.value : 12345u) << c.text;
  }
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    appState = AppState{};
    appState.program = Program::Corvane;
    gatherSettings = GatherSettings{};
    dataSourceSettings = DataSourceSettings{};
    SetStringTable(corvaneStrings);
    BindDesktop({.title = "Corvane", .icon = corvane_icon_xpm, .progressTitle = "", .progressBar = true});
    ASSERT_TRUE(LoadSettings());
  }
  void TearDown() override {
    EndChildProcess();
    UnbindDesktop();
  }
  std::string Stored(const char* name) { return installed.Stored(Program::Corvane, name); }

  // A manager that writes its process id, then waits to be ended.
  std::string Manager() {
    std::string record = net.root() + "/started.txt";
    std::string path = installed.install + "/" + kSourcewardenProgram;
    TempNetwork::WriteFile(path, "#!/bin/sh\necho $$ >> '" + record + "'\nexec sleep 60\n");
    ::chmod(path.c_str(), 0755);
    return record;
  }

  TempNetwork net;
  Installation installed{net};
};

TEST_F(SettingsDialogTest, OkStoresValidNumbersAndCancelStoresNothing) {
  SeenBox seen;
  WhenModal([&](QWidget* dialog) {
    KeepScreenshot(dialog, "corvane-settings");
    Control<QLineEdit>(dialog, 1010)->setText("30");
    Control<QLineEdit>(dialog, 1011)->setText("12a");
    WhenBox(seen);
    Press(dialog, 1);
    EXPECT_TRUE(dialog->isVisible()) << "an invalid value keeps the dialog open";
    Press(dialog, 2);
  });
  SettingsDialog(nullptr);
  EXPECT_EQ(seen.text, "Invalid value");
  EXPECT_EQ(seen.caption, "Error!");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(gatherSettings.timeOut, 30u) << "the valid time-out was taken before the period failed";
  EXPECT_EQ(Stored("TimeOut"), "") << "Cancel writes nothing";

  // Values the manager wrote while the dialog was open are what OK saves.
  installed.Put(Program::Corvane, "DSN", platform::StringValue(REG_SZ, "Elsewhere"));
  for (const char* name : {"Description", "User", "Password"})
    installed.Put(Program::Corvane, name, platform::StringValue(REG_SZ, ""));
  installed.Put(Program::Corvane, "RegAccess", platform::DwordValue(0));
  WhenModal([](QWidget* dialog) {
    EXPECT_EQ(Control<QLineEdit>(dialog, 1010)->text().toStdString(), "30");
    Control<QLineEdit>(dialog, 1011)->setText("-5");
    Press(dialog, 1029);
    Press(dialog, 1031);
    Press(dialog, 1);
  });
  SettingsDialog(nullptr);
  EXPECT_EQ(Stored("TimeOut"), "30");
  EXPECT_EQ(Stored("TransactionPeriod"), "4294967291");
  EXPECT_EQ(Stored("EraseLogs"), "1");
  EXPECT_EQ(Stored("LoadDescriptions"), "0");
  EXPECT_EQ(Stored("DSN"), "Elsewhere");
}

TEST_F(SettingsDialogTest, TheManagerStartsOnceAndEndsWithTheProgram) {
  SeenBox first, second;
  WhenBox(first, [&] { WhenBox(second); });
  EXPECT_FALSE(StartSourcewarden(nullptr));
  EXPECT_EQ(first.caption, "CreateProcess");
  EXPECT_EQ(first.text.substr(0, 42), "The system cannot find the file specified.");
  EXPECT_EQ(second.caption, "Error");
  EXPECT_EQ(second.text, "Unable to load Sourcewarden");
  EXPECT_EQ(appState.childProcess, nullptr);

  std::string record = Manager();
  WhenModal([](QWidget* dialog) {
    Press(dialog, 1023);
    Press(dialog, 1023);  // while the first still runs: a beep, no second manager
    Press(dialog, 2);
  });
  SettingsDialog(nullptr);
  ASSERT_NE(appState.childProcess, nullptr);
  HANDLE process = appState.childProcess;
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
  // The manager writes on its own time: wait for its line, and give a second one a moment.
  std::string started;
  for (int i = 0; i < 500 && started.find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    started = TempNetwork::ReadFile(record);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  started = TempNetwork::ReadFile(record);
  EXPECT_EQ(std::count(started.begin(), started.end(), '\n'), 1) << started;
  EndChildProcess();
  EXPECT_EQ(appState.childProcess, nullptr);
  const pid_t pid = std::stoi(started);
  for (int i = 0; i < 500 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_NE(::kill(pid, 0), 0) << "the manager still runs";
}

TEST_F(SettingsDialogTest, ANamedButEmptyDataSourceAsksAtStart) {
  installed.Put(Program::Corvane, "DSN", platform::StringValue(REG_SZ, ""));
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(dataSourceSettings.dataSourceMissing, 0u);
  std::string record = Manager();
  SeenBox seen;
  WhenBox(seen);
  PrepareDataSource(nullptr);
  EXPECT_EQ(seen.caption, "Warning");
  EXPECT_EQ(seen.text, "You need to specify Data Source.");
  EXPECT_NE(appState.childProcess, nullptr) << "then the manager is started";

  auto window = DesktopDataSourceUi()->ShowPreparing();
  ASSERT_NE(window, nullptr);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->findChild<QLabel*>("108")) KeepScreenshot(w, "corvane-preparing");
}

}  // namespace

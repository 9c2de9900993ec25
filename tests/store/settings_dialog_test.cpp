// Corvane's Settings dialog and the data-source manager, driven headless: the number checks,
// what OK and Cancel store, and the manager started, refused a second time and ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <thread>

#include "frame/desktop_ui.h"
#include "frame/settings.h"
#include "programs/corvane/corvane_icon.xpm"
#include "programs/corvane/strings.h"
#include "store/sourcewarden_start.h"
#include "store/setting_numbers.h"
#include "store/settings_dialog.h"
#include "tests/support/installation.h"
#include "tests/support/qt_ui.h"

namespace {

TEST(SettingNumbersTest, TakesWhatFitsThirtyTwoBitsAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool valid;  // IsValidNumber; a valid text is taken when it has a value below
    std::optional<DWORD> value;
  } cases[] = {
      {"0", true, 0}, {"-5", true, 4294967291u}, {"4294967295", true, 4294967295u}, {"-2147483648", true, 0x80000000u},
      {"00000000000000000042", true, 42}, {"4294967296", true, {}}, {"-2147483649", true, {}}, {"-", true, {}},
      {"", false, {}}, {"12a", false, {}}, {" 12", false, {}}, {"1-2", false, {}}, {"+12", false, {}},
      {"123456789012345678901", false, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidNumber(c.text), c.valid) << c.text;
    DWORD value = 12345;
    EXPECT_EQ(ParseSettingNumber(c.text, value), c.value.has_value()) << c.text;
    EXPECT_EQ(value, c.value.value_or(12345)) << c.text;
  }
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    appState = AppState{};
    gatherSettings = GatherSettings{};
    SetStringTable(corvaneStrings);
    BindDesktop({.icon = corvane_icon_xpm});
    ASSERT_TRUE(LoadSettings());
  }
  void TearDown() override {
    EndChildProcess();
    UnbindDesktop();
  }
  std::string Stored(const char* name) { return installed.Stored(Program::Corvane, name); }
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
  EXPECT_EQ(seen.caption + ": " + seen.text, "Error!: Invalid value");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(gatherSettings.timeOut, 30u) << "the valid time-out was taken before the period failed";
  EXPECT_EQ(Stored("TimeOut"), "") << "Cancel writes nothing";

  // What the manager wrote while the dialog was open is what OK saves.
  platform::WriteImageValue(installed.local, Installation::Key(Program::Corvane), "DSN", platform::StringValue(REG_SZ, "Elsewhere"));
  WhenModal([](QWidget* dialog) {
    EXPECT_EQ(Control<QLineEdit>(dialog, 1010)->text().toStdString(), "30");
    Control<QLineEdit>(dialog, 1011)->setText("-5");
    Press(dialog, 1029), Press(dialog, 1031), Press(dialog, 1);
  });
  SettingsDialog(nullptr);
  auto preparing = DesktopDataSourceUi()->ShowPreparing();
  KeepScreenshot(QApplication::topLevelWidgets().last(), "corvane-preparing");
  EXPECT_EQ(Stored("TimeOut") + " " + Stored("TransactionPeriod") + " " + Stored("EraseLogs") + " " +
                Stored("LoadDescriptions") + " " + Stored("DSN"),
            "30 4294967291 1 0 Elsewhere");
}

TEST_F(SettingsDialogTest, TheManagerStartsOnceAndEndsWithTheProgram) {
  SeenBox first, second;
  WhenBox(first, [&] { WhenBox(second); });
  EXPECT_FALSE(StartSourcewarden(nullptr));
  EXPECT_EQ(first.caption + ": " + first.text.substr(0, 42), "CreateProcess: The system cannot find the file specified.");
  EXPECT_EQ(second.caption + ": " + second.text, "Error: Unable to load Sourcewarden");
  // A manager that writes its process id, then waits to be ended.
  const std::string program = installed.install + "/" + kSourcewardenProgram, record = net.root() + "/started";
  TempNetwork::WriteFile(program, "#!/bin/sh\necho $$ >> '" + record + "'\nexec sleep 60\n");
  ::chmod(program.c_str(), 0755);
  WhenModal([](QWidget* dialog) {
    Press(dialog, 1023);
    Press(dialog, 1023);  // while the first still runs: a beep, no second manager
    Press(dialog, 2);
  });
  SettingsDialog(nullptr);
  for (int i = 0; i < 500 && TempNetwork::ReadFile(record).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string started = TempNetwork::ReadFile(record);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // room for a second, wrong, start
  EXPECT_EQ(TempNetwork::ReadFile(record), started);
  EndChildProcess();
  EXPECT_EQ(appState.childProcess, nullptr);
  const pid_t pid = std::stoi(started);
  for (int i = 0; i < 500 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_NE(::kill(pid, 0), 0) << "the manager still runs";
}

}  // namespace

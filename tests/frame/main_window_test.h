// A program's main window driven headless over an installation on ADMINPC, a computer of the
// domain LAB, and the LAB computers a test adds; the process-wide state it binds is undone after.
#pragma once

#include <QTreeWidget>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "frame/main_dialog.h"
#include "frame/run_log.h"
#include "tests/support/installation.h"
#include "tests/support/qt_ui.h"

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    window.reset(), UnbindDesktop(), SetBrowseUi(nullptr), SetTypeLookup(nullptr), computerList.Clear();
    runLog = RunLog{};
  }

  static void Bind(const MainWindowBinding& binding) {
    UnbindDesktop();
    BindDesktop(binding), SetBrowseUi(DesktopBrowseUi()), SetTypeLookup(LookupComputerTypes);
  }

  // The installation, on this computer of LAB; returns a host of LAB for the test's computers.
  platform::HostInfo Install() {
    installed = std::make_unique<Installation>(net);
    platform::HostInfo host;
    host.domain = "LAB";
    net.AddComputer("ADMINPC", host);
    return host;
  }

  void Show(const MainWindowBinding& binding) {
    window = std::make_unique<MainDialog>(binding);
    window->quit = [this] { ++quits; };
    ASSERT_TRUE(window->Initialise());
    window->show();
  }

  // Each row's name, with a star when it is selected.
  static std::vector<std::string> Rows() {
    SyncSelection();
    std::vector<std::string> rows;
    for (const auto& r : computerList) rows.push_back(r.name + (r.selected ? "*" : ""));
    return rows;
  }

  // Highlights the named rows only, as a person's clicks leave the list.
  void Select(std::initializer_list<std::string> names) {
    auto* list = Control<QTreeWidget>(window.get(), 1002);
    list->clearSelection();
    for (size_t row = 0; row < computerList.Count(); ++row)  // the rows are drawn from the records
      for (const std::string& name : names)
        if (computerList[row].name == name) list->topLevelItem(static_cast<int>(row))->setSelected(true);
  }

  TempNetwork net;
  std::unique_ptr<Installation> installed;
  std::unique_ptr<MainDialog> window;
  int quits = 0;
};

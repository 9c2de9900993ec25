// Dialog 100, the main window of both programs.
#pragma once

#include <QDialog>
#include <functional>

#include "frame/main_window.h"

class ComputerListView;
class QComboBox;
class QMenu;

class MainDialog : public QDialog {
 public:
  explicit MainDialog(const MainWindowBinding& binding, QWidget* parent = nullptr);
  ~MainDialog() override;

  // The set-up before the window is shown: columns, the Action box, the settings, the data
  // source and the list. False when the program is not installed (after its box).
  bool Initialise();

  void RefillListView();
  void SyncSelection();

  // What ends the message loop; tests put their own.
  std::function<void()> quit;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape is no command of this window
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ShowWindowMenu(const QPoint& at);
  void OnAction(int index);

  MainWindowBinding binding_;
  ComputerListView* list_;
  QComboBox* action_;
  QMenu* windowMenu_;
};

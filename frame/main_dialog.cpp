#include "frame/main_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "frame/app_state.h"
#include "frame/computer_list_view.h"
#include "frame/desktop_ui.h"
#include "frame/dialogs.h"
#include "frame/help.h"
#include "frame/list_file.h"
#include "frame/strings.h"
#include "frame/widgets.h"

namespace {

constexpr int kListWidth = 443;
constexpr int kListHeight = 290;

// The one main window, for the program's Go (which syncs the selection first).
MainDialog* mainWindow = nullptr;

QPushButton* Button(const char* text, int id, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  SetId(b, id);
  return b;
}

}  // namespace

MainDialog::MainDialog(const MainWindowBinding& binding, QWidget* parent)
    : QDialog(parent), quit([] { QCoreApplication::exit(0); }), binding_(binding) {
  setWindowTitle(binding.title);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());

  list_ = new ComputerListView(computerList, binding.centredTexts, this);
  SetId(list_, 1002);
  // Wide enough for the longest type text in this font, and never narrower than the classic list.
  const int longestType = list_->fontMetrics().horizontalAdvance("Windows NT Primary Domain Controller (4.0)");
  const int wanted = 150 + 10 + longestType + 12 + 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width();
  list_->setFixedSize(std::max(kListWidth, wanted), kListHeight);

  auto* fresh = Button("&Fresh list", 1014, this);
  auto* import = Button("&Import list...", 1013, this);
  auto* exportList = Button("&Export list...", 1004, this);
  auto* group = new QGroupBox("Action", this);
  action_ = new QComboBox(group);
  SetId(action_, 1068);
  action_->setEditable(false);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(action_);
  auto* go = Button("&Go", 1003, this);
  auto* logFile = Button("&Log File...", 115, this);
  auto* help = Button("&Help", 9, this);
  auto* exitButton = Button("E&xit", 109, this);
  help->setDefault(true);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(fresh);
  buttons->addWidget(import);
  buttons->addWidget(exportList);
  buttons->addSpacing(6);
  buttons->addWidget(group);
  buttons->addWidget(go);
  buttons->addStretch(1);
  buttons->addWidget(logFile);
  buttons->addWidget(help);
  buttons->addWidget(exitButton);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(go, &QPushButton::clicked, this, [this] {
    if (binding_.go) binding_.go(HandleOf(this));
  });
  connect(exportList, &QPushButton::clicked, this, [this] {
    SyncSelection();
    ExportListFile(HandleOf(this));
  });
  connect(import, &QPushButton::clicked, this, [this] {
    if (ImportListFile(HandleOf(this))) RefillListView();
  });
  connect(fresh, &QPushButton::clicked, this, [this] {
    if (binding_.browseNetwork) binding_.browseNetwork();
    RefillListView();
  });
  connect(action_, &QComboBox::activated, this, [this](int index) { OnAction(index); });
  connect(logFile, &QPushButton::clicked, this,
          [this] { OptionsDialog(HandleOf(this), binding_.optionsHelpContext); });
  connect(help, &QPushButton::clicked, this, [this] { ShowHelp(HandleOf(this), binding_.helpContext); });
  connect(exitButton, &QPushButton::clicked, this, [this] {
    ExitMainWindow(binding_);
    quit();
  });

  // A desktop's window menu takes no entries from its programs, so "&About" has a menu of its
  // own: the window's right-click menu, or Alt+Space where the desktop leaves that key to us.
  windowMenu_ = new QMenu(this);
  char about[64];
  LoadStringA(nullptr, IDS_ABOUT, about, sizeof about);
  windowMenu_->addAction(about, this, [this] { AboutDialog(HandleOf(this), binding_.aboutTitle); });
  auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
  connect(menuKey, &QShortcut::activated, this, [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });
  list_->setContextMenuPolicy(Qt::NoContextMenu);  // the list's right-click reaches the window
  mainWindow = this;
}

MainDialog::~MainDialog() {
  if (mainWindow == this) mainWindow = nullptr;
}

void RefillListView() {
  if (mainWindow) mainWindow->RefillListView();
}

void SyncSelection() {
  if (mainWindow) mainWindow->SyncSelection();
}

bool MainDialog::Initialise() {
  list_->SetUpColumns();
  action_->addItem(binding_.actionEntries[0]);
  action_->addItem(binding_.actionEntries[1]);
  action_->setCurrentIndex(0);
  if (!StartMainWindow(binding_, HandleOf(this))) return false;
  RefillListView();
  return true;
}

void MainDialog::RefillListView() { list_->Refill(); }

void MainDialog::SyncSelection() { list_->SyncSelection(); }

void MainDialog::OnAction(int index) {
  if (index < 1) return;
  if (binding_.actionSettings) binding_.actionSettings(HandleOf(this));
  action_->setCurrentIndex(0);
}

void MainDialog::closeEvent(QCloseEvent* event) {
  CloseMainWindow(binding_);
  quit();
  event->accept();
}

void MainDialog::reject() {}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) { ShowWindowMenu(event->globalPos()); }

void MainDialog::ShowWindowMenu(const QPoint& at) { windowMenu_->popup(at); }

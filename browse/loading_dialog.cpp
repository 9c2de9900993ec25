#include "browse/loading_dialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "frame/frame_ui.h"
#include "frame/widgets.h"

namespace {

// No caption: the program's icon, the line and the bar 1068.
class LoadingDialog : public QDialog {
 public:
  explicit LoadingDialog(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    auto* icon = new QLabel(panel);
    SetId(icon, 108);
    icon->setPixmap(ProgramIcon());
    auto* text = new QLabel("Loading, please wait...", panel);
    bar = new QProgressBar(panel);
    SetId(bar, 1068);
    bar->setTextVisible(false);
    bar->setFixedWidth(220);
    auto* right = new QVBoxLayout;
    right->addWidget(text);
    right->addWidget(bar);
    auto* inner = new QHBoxLayout(panel);
    inner->addWidget(icon, 0, Qt::AlignTop);
    inner->addSpacing(8);
    inner->addLayout(right);
    inner->setContentsMargins(14, 12, 14, 12);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }
  QProgressBar* bar;
};

// The thread that shows it goes on to wait for the lookups without running its loop, so every
// change is painted at once.
class LoadingWindowOnScreen : public LoadingWindow {
 public:
  explicit LoadingWindowOnScreen(QWidget* owner) : dialog_(owner) {
    dialog_.show();
    Paint();
  }
  void SetRange(size_t count) override {
    dialog_.bar->setRange(0, static_cast<int>(std::min<size_t>(count, INT_MAX)));
    dialog_.bar->setValue(0);
    Paint();
  }
  void Step() override {
    dialog_.bar->setValue(dialog_.bar->value() + 1);
    Paint();
  }
  void Close() override { dialog_.hide(); }

 private:
  void Paint() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    dialog_.repaint();
  }
  LoadingDialog dialog_;
};

class DesktopBrowse : public BrowseUi {
 public:
  std::unique_ptr<LoadingWindow> OpenLoadingWindow(HWND owner) override {
    if (!QCoreApplication::instance()) return nullptr;
    return std::make_unique<LoadingWindowOnScreen>(WidgetOf(owner));
  }
  void ShowWaitCursor() override {
    if (FrameUi* ui = GetFrameUi()) ui->ShowWaitCursor();
  }
  void RestoreCursor() override {
    if (FrameUi* ui = GetFrameUi()) ui->RestoreCursor();
  }
};

}  // namespace

BrowseUi* DesktopBrowseUi() {
  static DesktopBrowse ui;
  return &ui;
}

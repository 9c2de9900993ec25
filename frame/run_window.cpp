#include "frame/run_window.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "frame/widgets.h"

namespace {

// Cancel, Escape and the close box only ask the worker to stop; the window ends when the worker
// says it is done, and never on Enter.
class ProgressDialog : public QDialog {
 public:
  ProgressDialog(QWidget* owner, const char* title, bool withBar) : QDialog(owner) {
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    text = new QLabel(this);
    SetId(text, 1025);
    text->setMinimumWidth(260);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    if (withBar) {
      bar = new QProgressBar(this);
      SetId(bar, 1024);
      bar->setTextVisible(false);
      bar->setRange(0, 0);
      bar->setValue(0);
      layout->addWidget(bar);
    } else {
      text->setAlignment(Qt::AlignCenter);
    }
    auto* cancel = new QPushButton("Cancel", this);
    SetId(cancel, 2);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel);
    row->addStretch(1);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }

  void Finish() {
    finished_ = true;
    done(QDialog::Accepted);
  }

  void done(int result) override {
    if (finished_) QDialog::done(result);
  }
  void reject() override { CancelRequested = 1; }

  QLabel* text = nullptr;
  QProgressBar* bar = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (finished_) return event->accept();
    CancelRequested = 1;
    event->ignore();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return event->accept();
    QDialog::keyPressEvent(event);
  }

 private:
  bool finished_ = false;
};

// What the worker holds: every call but Done is queued to the window and returns at once.
class WindowProgress : public RunProgress {
 public:
  WindowProgress(ProgressDialog& dialog, const RunWindowSteps& steps) : dialog_(dialog), steps_(steps) {}

  HWND Owner() override { return HandleOf(&dialog_); }
  void SetText(const std::string& text) override {
    PostToUiThread(&dialog_, [d = &dialog_, t = QString::fromStdString(text)] { d->text->setText(t); });
  }
  void SetRange(uint32_t count) override {
    PostToUiThread(&dialog_, [d = &dialog_, count] {
      if (!d->bar) return;
      d->bar->setRange(0, static_cast<int>(std::min<uint32_t>(count, INT_MAX)));
      d->bar->setValue(0);
    });
  }
  void SetPosition(uint32_t position) override {
    PostToUiThread(&dialog_, [d = &dialog_, position] {
      if (d->bar) d->bar->setValue(static_cast<int>(std::min<uint32_t>(position, INT_MAX)));
    });
  }
  void Done() override {
    CallOnUiThread([this] {
      if (steps_.finish) steps_.finish();
      dialog_.Finish();
    });
  }

 private:
  ProgressDialog& dialog_;
  const RunWindowSteps& steps_;
};

class DesktopRunWindows : public RunWindows {
 public:
  DesktopRunWindows(const char* title, bool withBar) : title_(title), withBar_(withBar) {}

  void ShowProgress(HWND owner, const RunWindowSteps& steps) override {
    ProgressDialog dialog(WidgetOf(owner), title_, withBar_);
    WindowProgress progress(dialog, steps);
    // The worker starts once the window is up and its loop runs.
    QTimer::singleShot(0, &dialog, [&] {
      CancelRequested = 0;
      if (steps.start) steps.start(progress);
    });
    dialog.exec();
  }

 private:
  const char* title_;
  bool withBar_;
};

}  // namespace

std::unique_ptr<RunWindows> MakeDesktopRunWindows(const char* title, bool withBar) {
  return std::make_unique<DesktopRunWindows>(title, withBar);
}

// Dialog 200: the About box.
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "frame/app_state.h"
#include "frame/dialogs.h"
#include "frame/widgets.h"

namespace {

constexpr char kUpdateNotice[] = "Updates are published by Quillon for every licensed installation.";

class AboutWindow : public QDialog {
 public:
  AboutWindow(QWidget* owner, const char* title) : QDialog(owner) {
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    auto* icon = new QLabel(this);
    SetId(icon, 108);
    icon->setPixmap(ProgramIcon());
    auto* text = new QLabel(QString::fromStdString(appState.aboutText), this);
    SetId(text, 65534);
    text->setAlignment(Qt::AlignCenter);
    auto* notice = new QLabel(kUpdateNotice, this);
    notice->setAlignment(Qt::AlignCenter);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* ok = new QPushButton("OK", this);
    SetId(ok, 201);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { QDialog::accept(); });

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(notice);
    layout->addWidget(line);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }

  // Only OK ends the box: Escape and the close box are swallowed.
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

void AboutDialog(HWND owner, const char* title) {
  AboutWindow dialog(WidgetOf(owner), title);
  dialog.exec();
}

// Dialog 106 of either program: which computers the run is about to take.
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "frame/computer_list.h"
#include "frame/dialogs.h"
#include "frame/help.h"
#include "frame/widgets.h"

namespace {

class ConfirmWindow : public QDialog {
 public:
  ConfirmWindow(QWidget* owner, const ConfirmDialogTexts& texts) : QDialog(owner), texts_(texts) {
    setWindowTitle(texts.title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* label = new QLabel(texts.text, this);
    auto* names = new QListWidget(this);
    SetId(names, 1002);
    names->setFixedSize(220, 160);
    for (const auto& record : computerList)
      if (record.selected == 1) names->addItem(QString::fromStdString(record.name));
    auto* ok = new QPushButton("OK", this);
    SetId(ok, 1);
    ok->setDefault(true);
    ok->setEnabled(names->count() > 0);
    auto* cancel = new QPushButton("Cancel", this);
    SetId(cancel, 2);
    auto* help = new QPushButton("&Help", this);
    SetId(help, 9);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(HandleOf(this), texts_.helpContext); });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    buttons->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(names);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(body);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (texts_.closeBoxCancels) return QDialog::closeEvent(event);
    event->ignore();
  }

 private:
  ConfirmDialogTexts texts_;
};

}  // namespace

bool ConfirmRunDialog(HWND owner, const ConfirmDialogTexts& texts) {
  ConfirmWindow dialog(WidgetOf(owner), texts);
  return dialog.exec() == QDialog::Accepted;
}

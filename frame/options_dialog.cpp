// Dialog 104 "Options": the run log's file, level and mode.
#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "frame/computer_list.h"
#include "frame/dialogs.h"
#include "frame/frame_ui.h"
#include "frame/help.h"
#include "frame/run_log.h"
#include "frame/widgets.h"

namespace {

constexpr size_t kFileNameSize = 260;

template <typename T>
T* Make(QWidget* parent, int id, const char* text) {
  auto* control = new T(text, parent);
  SetId(control, id);
  return control;
}

class OptionsWindow : public QDialog {
 public:
  OptionsWindow(QWidget* owner, DWORD helpContext) : QDialog(owner), working_(runLog) {
    // The copy never owns the run log's open file: closing it is done on the run log itself, so
    // the file is never closed twice.
    working_.file = nullptr;
    setWindowTitle("Options");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* fileGroup = new QGroupBox("Log File:", this);
    name_ = new QLineEdit(QString::fromStdString(working_.fileName), fileGroup);
    SetId(name_, 1029);
    name_->setMinimumWidth(300);
    auto* choose = Make<QPushButton>(fileGroup, 1033, "...");
    choose->setFixedWidth(choose->fontMetrics().horizontalAdvance("...") + 24);
    auto* fileRow = new QHBoxLayout(fileGroup);
    fileRow->addWidget(name_);
    fileRow->addWidget(choose);

    auto* levelGroup = new QGroupBox("Log Options", this);
    full_ = Make<QRadioButton>(levelGroup, 1034, "Full Log");
    errorsOnly_ = Make<QRadioButton>(levelGroup, 1035, "Error Log Only");
    none_ = Make<QRadioButton>(levelGroup, 2036, "No Log");
    auto* levels = new QVBoxLayout(levelGroup);
    for (auto* r : {full_, errorsOnly_, none_}) levels->addWidget(r);

    auto* modeGroup = new QGroupBox("Append/Overwrite", this);
    append_ = Make<QRadioButton>(modeGroup, 2037, "Append to Log");
    auto* overwrite = Make<QRadioButton>(modeGroup, 2038, "Overwrite Log");
    auto* modes = new QVBoxLayout(modeGroup);
    modes->addWidget(append_);
    modes->addWidget(overwrite);
    modes->addStretch(1);

    (working_.level == FullLog ? full_ : working_.level == ErrorLogOnly ? errorsOnly_ : none_)->setChecked(true);
    (working_.mode != 0 ? overwrite : append_)->setChecked(true);

    auto* ok = Make<QPushButton>(this, 1, "OK");
    auto* cancel = Make<QPushButton>(this, 2, "Cancel");
    auto* view = Make<QPushButton>(this, 1032, "&View Log");
    auto* help = Make<QPushButton>(this, 9, "&Help");
    ok->setDefault(true);
    auto* buttons = new QVBoxLayout;
    for (auto* b : {ok, cancel, view, help}) buttons->addWidget(b);
    buttons->addStretch(1);

    auto* layout = new QGridLayout(this);
    layout->addWidget(fileGroup, 0, 0, 1, 2);
    layout->addWidget(levelGroup, 1, 0);
    layout->addWidget(modeGroup, 1, 1);
    layout->addLayout(buttons, 0, 2, 2, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(choose, &QPushButton::clicked, this, [this] { ChooseLogFile(); });
    connect(view, &QPushButton::clicked, this, [this] { ViewRunLog(working_.fileName); });
    connect(help, &QPushButton::clicked, this, [this, helpContext] { ShowHelp(HandleOf(this), helpContext); });
    connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  }

 private:
  void ChooseLogFile() {
    char buffer[kFileNameSize + 1] = {};
    CopyText(buffer, sizeof buffer, name_->text().toStdString());
    if (!ChooseFile(HandleOf(this), "Select Log File", buffer, sizeof buffer, LogFileKind)) return;
    name_->setText(QString::fromStdString(buffer));
    CloseRunLog(runLog);
    working_.fileName = buffer;
  }

  void Ok() {
    working_.fileName = std::string(CutText(name_->text().toStdString(), kFileNameSize - 1));
    working_.mode = append_->isChecked() ? Append : Overwrite;
    working_.level = full_->isChecked() ? FullLog : errorsOnly_->isChecked() ? ErrorLogOnly : NoLog;
    CloseRunLog(runLog);
    runLog.fileName = working_.fileName;
    runLog.level = working_.level;
    runLog.mode = working_.mode;
    accept();
  }

  RunLog working_;
  QLineEdit* name_;
  QRadioButton* full_;
  QRadioButton* errorsOnly_;
  QRadioButton* none_;
  QRadioButton* append_;
};

}  // namespace

void OptionsDialog(HWND owner, DWORD helpContext) {
  OptionsWindow dialog(WidgetOf(owner), helpContext);
  dialog.exec();
}

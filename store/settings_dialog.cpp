#include "store/settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "frame/help.h"
#include "frame/message_box.h"
#include "frame/settings.h"
#include "frame/strings.h"
#include "frame/widgets.h"
#include "store/sourcewarden_start.h"
#include "store/setting_numbers.h"

namespace {

constexpr DWORD kSettingsHelpContext = 1003;
constexpr int kNumberTextSize = 260;

QLineEdit* NumberField(QGroupBox* group, int id, DWORD value) {
  auto* field = new QLineEdit(QString::number(value), group);
  SetId(field, id);
  field->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(field);
  return field;
}

class SettingsWindow : public QDialog {
 public:
  explicit SettingsWindow(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Corvane Settings");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* timeGroup = new QGroupBox("Timeout value (min):", this);
    timeOut_ = NumberField(timeGroup, 1010, gatherSettings.timeOut);
    auto* periodGroup = new QGroupBox("Transaction period (entries):", this);
    period_ = NumberField(periodGroup, 1011, gatherSettings.transactionPeriod);
    clearLogs_ = new QCheckBox("Clear Logs", this);
    SetId(clearLogs_, 1029);
    clearLogs_->setChecked(gatherSettings.eraseLogs != 0);
    auto* sourceGroup = new QGroupBox("Load Descriptions from:", this);
    remote_ = new QRadioButton("Remote Computer", sourceGroup);
    SetId(remote_, 1030);
    auto* local = new QRadioButton("Local Computer", sourceGroup);
    SetId(local, 1031);
    (gatherSettings.loadDescriptions != 0 ? remote_ : local)->setChecked(true);
    auto* sources = new QVBoxLayout(sourceGroup);
    sources->addWidget(remote_);
    sources->addWidget(local);

    auto* dataSource = new QPushButton("&Data source..", this);
    SetId(dataSource, 1023);
    auto* ok = new QPushButton("OK", this);
    SetId(ok, 1);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    SetId(cancel, 2);
    auto* help = new QPushButton("&Help", this);
    SetId(help, 57670);
    auto* buttons = new QVBoxLayout;
    for (auto* b : {ok, cancel, help}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(dataSource);

    auto* layout = new QGridLayout(this);
    layout->addWidget(timeGroup, 0, 0);
    layout->addWidget(periodGroup, 1, 0);
    layout->addWidget(clearLogs_, 2, 0);
    layout->addWidget(sourceGroup, 3, 0);
    layout->addLayout(buttons, 0, 1, 4, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(HandleOf(this), kSettingsHelpContext); });
    connect(dataSource, &QPushButton::clicked, this, [this] {
      // One manager at a time: a second press while it runs only beeps.
      if (SourcewardenRunning()) return QApplication::beep();
      StartSourcewarden(HandleOf(this));
    });
  }

 private:
  // Each field is taken as soon as it is valid, so a bad period leaves a good time-out stored.
  bool Take(QLineEdit* field, DWORD& setting) {
    DWORD value = 0;
    if (!ParseSettingNumber(field->text().left(kNumberTextSize - 1).toStdString(), value)) {
      ShowWarningBox(HandleOf(this), IDS_INVALID_VALUE);
      return false;
    }
    setting = value;
    return true;
  }

  void Ok() {
    if (!Take(timeOut_, gatherSettings.timeOut) || !Take(period_, gatherSettings.transactionPeriod)) return;
    gatherSettings.eraseLogs = clearLogs_->isChecked() ? 1 : 0;
    gatherSettings.loadDescriptions = remote_->isChecked() ? 1 : 0;
    // The manager may have changed the data source meanwhile: what it wrote is what is saved.
    CheckDataSource();
    SaveSettings();
    accept();
  }

  QLineEdit* timeOut_;
  QLineEdit* period_;
  QCheckBox* clearLogs_;
  QRadioButton* remote_;
};

// Dialog 115: no title, the program's icon and two lines, centred on the screen.
class PreparingDialog : public QDialog {
 public:
  PreparingDialog() : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint) {
    // Without a title bar the window needs an edge of its own.
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    auto* icon = new QLabel(panel);
    SetId(icon, 108);
    icon->setPixmap(ProgramIcon());
    auto* text = new QLabel("Corvane\nPreparing Data Source...", panel);
    auto* inner = new QHBoxLayout(panel);
    inner->addWidget(icon);
    inner->addSpacing(8);
    inner->addWidget(text);
    inner->setContentsMargins(16, 12, 24, 12);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }
};

class PreparingWindowOnScreen : public PreparingWindow {
 public:
  PreparingWindowOnScreen() {
    dialog_.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      dialog_.move(area.left() + area.width() / 2 - dialog_.width() / 2,
                   area.top() + area.height() / 2 - dialog_.height() / 2);
    }
    dialog_.show();
    // Painted now: the thread goes on to wait without looking at its messages.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    dialog_.repaint();
  }

 private:
  PreparingDialog dialog_;
};

class DesktopDataSource : public DataSourceUi {
 public:
  std::unique_ptr<PreparingWindow> ShowPreparing() override {
    if (!QCoreApplication::instance()) return nullptr;
    return std::make_unique<PreparingWindowOnScreen>();
  }
};

}  // namespace

void SettingsDialog(HWND owner) {
  SettingsWindow dialog(WidgetOf(owner));
  dialog.exec();
}

DataSourceUi* DesktopDataSourceUi() {
  static DesktopDataSource ui;
  return &ui;
}

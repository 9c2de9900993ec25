#include "audit/audit_policy_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <vector>

#include "frame/dialogs.h"
#include "frame/help.h"
#include "frame/widgets.h"

namespace {

constexpr DWORD kPolicyHelpContext = 1013;
constexpr DWORD kConfirmHelpContext = 1014;

// The rows top to bottom, each with its category (the index of the policy's arrays) and boxes.
struct Row {
  int labelId;
  const char* label;
  int category;
  int successId;
  int failureId;
};
constexpr Row kRows[] = {
    {1061, "Logon and Logoff", 1, 1042, 1044},
    {1062, "File and Object Access", 2, 1043, 1045},
    {1063, "Use of User Rights", 3, 1046, 1047},
    {1064, "User and Group Management", 6, 1048, 1049},
    {1065, "Security Policy Changes", 5, 1050, 1051},
    {1066, "Restart, Shutdown, and System", 0, 1052, 1053},
    {1067, "Process Tracking", 4, 1054, 1055},
};

// A click moves a box through unchecked, checked, indeterminate, as the desktop's automatic
// three-state boxes of the policy have always cycled (Qt's own order puts indeterminate second).
class ThreeStateBox : public QCheckBox {
 public:
  explicit ThreeStateBox(QWidget* parent) : QCheckBox(parent) { setTristate(true); }

 protected:
  void nextCheckState() override {
    switch (checkState()) {
      case Qt::Unchecked: setCheckState(Qt::Checked); break;
      case Qt::Checked: setCheckState(Qt::PartiallyChecked); break;
      case Qt::PartiallyChecked: setCheckState(Qt::Unchecked); break;
    }
  }
};

Qt::CheckState QtState(BoxState s) {
  return s == BoxState::Checked ? Qt::Checked : s == BoxState::Unchecked ? Qt::Unchecked : Qt::PartiallyChecked;
}
BoxState StateOf(Qt::CheckState s) {
  return s == Qt::Checked ? BoxState::Checked : s == Qt::Unchecked ? BoxState::Unchecked : BoxState::Indeterminate;
}

class AuditPolicyWindow : public QDialog {
 public:
  explicit AuditPolicyWindow(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Audit Policy");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* computer = new QLabel("Computer:    All selected computers", this);
    auto* off = new QRadioButton("Do Not Audit", this);
    SetId(off, 1034);
    on_ = new QRadioButton("Audit These Events:", this);
    SetId(on_, 1040);
    auto* modes = new QButtonGroup(this);
    modes->addButton(off);
    modes->addButton(on_);

    auto* grid = new QGroupBox(this);
    auto* cells = new QGridLayout(grid);
    cells->setHorizontalSpacing(18);
    auto* success = new QLabel("Success", grid);
    SetId(success, 1059);
    auto* failure = new QLabel("Failure", grid);
    SetId(failure, 1060);
    cells->addWidget(success, 0, 1, Qt::AlignHCenter);
    cells->addWidget(failure, 0, 2, Qt::AlignHCenter);
    gridControls_ = {success, failure};
    int line = 1;
    for (const Row& row : kRows) {
      auto* label = new QLabel(row.label, grid);
      SetId(label, row.labelId);
      auto* s = new ThreeStateBox(grid);
      SetId(s, row.successId);
      auto* f = new ThreeStateBox(grid);
      SetId(f, row.failureId);
      s->setCheckState(QtState(BoxStateOf(policySettings.successChoices[row.category])));
      f->setCheckState(QtState(BoxStateOf(policySettings.failureChoices[row.category])));
      cells->addWidget(label, line, 0);
      cells->addWidget(s, line, 1, Qt::AlignHCenter);
      cells->addWidget(f, line, 2, Qt::AlignHCenter);
      gridControls_.insert(gridControls_.end(), {label, s, f});
      boxes_.push_back({row.category, s, f});
      ++line;
    }

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

    auto* left = new QVBoxLayout;
    left->addWidget(computer);
    left->addSpacing(6);
    left->addWidget(off);
    left->addWidget(on_);
    left->addWidget(grid);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    (policySettings.auditingMode != 0 ? on_ : off)->setChecked(true);
    EnableGrid(policySettings.auditingMode != 0);
    connect(off, &QRadioButton::clicked, this, [this] { EnableGrid(false); });
    connect(on_, &QRadioButton::clicked, this, [this] { EnableGrid(true); });
    connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(HandleOf(this), kPolicyHelpContext); });
  }

 private:
  void EnableGrid(bool enable) {
    for (QWidget* w : gridControls_) w->setEnabled(enable);
  }

  // The boxes count whether enabled or not: "Do Not Audit" still sends the categories' choices.
  void Ok() {
    for (const auto& b : boxes_) {
      policySettings.successChoices[b.category] = ChoiceOf(StateOf(b.success->checkState()));
      policySettings.failureChoices[b.category] = ChoiceOf(StateOf(b.failure->checkState()));
    }
    policySettings.auditingMode = on_->isChecked() ? 1 : 0;
    accept();
  }

  struct Boxes {
    int category;
    QCheckBox* success;
    QCheckBox* failure;
  };
  QRadioButton* on_;
  std::vector<QWidget*> gridControls_;
  std::vector<Boxes> boxes_;
};

}  // namespace

BoxState BoxStateOf(AuditChoice choice) {
  switch (choice) {
    case AuditChoice::Off: return BoxState::Unchecked;
    case AuditChoice::On: return BoxState::Checked;
    default: return BoxState::Indeterminate;
  }
}

AuditChoice ChoiceOf(BoxState state) {
  switch (state) {
    case BoxState::Unchecked: return AuditChoice::Off;
    case BoxState::Checked: return AuditChoice::On;
    default: return AuditChoice::Unchanged;
  }
}

void AuditPolicyDialog(HWND owner) {
  AuditPolicyWindow dialog(WidgetOf(owner));
  dialog.exec();
}

bool ConfirmAuditDialog(HWND owner) {
  return ConfirmRunDialog(owner, {"Set Audit Policy", "Set Audit Policy to Computers:", kConfirmHelpContext, false});
}

// The Audit Policy dialog driven headless: every box shows its own category's choice, a click
// moves it through unchecked, checked, indeterminate, and the mode disables the grid.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRadioButton>

#include "audit/audit_policy_dialog.h"
#include "tests/support/qt_ui.h"

namespace {

// Box ids per category, success then failure.
constexpr int kBoxes[kAuditCategoryCount][2] = {{1052, 1053}, {1042, 1044}, {1043, 1045}, {1046, 1047},
                                               {1054, 1055}, {1050, 1051}, {1048, 1049}};

Qt::CheckState State(QWidget* dialog, int id) { return Control<QCheckBox>(dialog, id)->checkState(); }

// The 23 controls of the grid: the boxes, the column headers and the row labels.
int EnabledGridControls(QWidget* dialog) {
  int n = 0;
  for (int id = 1042; id <= 1067; ++id)
    if (auto* w = Control<QWidget>(dialog, id); w && (id <= 1055 || id >= 1059)) n += w->isEnabled();
  return n;
}

TEST(AuditPolicyDialogTest, EachBoxShowsItsCategoryAndAClickMovesItOn) {
  // A different pattern per category and direction, with a stray stored value, so a box wired to
  // the wrong category or direction shows.
  const AuditChoice kPattern[] = {AuditChoice::Off, AuditChoice::On, AuditChoice::Unchanged, static_cast<AuditChoice>(7)};
  const Qt::CheckState kShown[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked, Qt::PartiallyChecked};
  policySettings = PolicySettings{};
  for (int c = 0; c < kAuditCategoryCount; ++c) {
    policySettings.successChoices[c] = kPattern[c % 4];
    policySettings.failureChoices[c] = kPattern[(c + 1) % 4];
  }
  WhenModal([&](QWidget* dialog) {
    EXPECT_TRUE(Control<QRadioButton>(dialog, 1040)->isChecked());
    EXPECT_EQ(EnabledGridControls(dialog), 23);
    for (int c = 0; c < kAuditCategoryCount; ++c) {
      EXPECT_EQ(State(dialog, kBoxes[c][0]), kShown[c % 4]) << "success of category " << c;
      EXPECT_EQ(State(dialog, kBoxes[c][1]), kShown[(c + 1) % 4]) << "failure of category " << c;
      Press(dialog, kBoxes[c][0]), Press(dialog, kBoxes[c][1]);
    }
    KeepScreenshot(dialog, "praxon-audit-policy");
    Press(dialog, 1);
  });
  AuditPolicyDialog(nullptr);
  // Unchecked -> checked -> indeterminate -> unchecked.
  const AuditChoice kNext[] = {AuditChoice::On, AuditChoice::Unchanged, AuditChoice::Off, AuditChoice::Off};
  for (int c = 0; c < kAuditCategoryCount; ++c) {
    EXPECT_EQ(policySettings.successChoices[c], kNext[c % 4]) << c;
    EXPECT_EQ(policySettings.failureChoices[c], kNext[(c + 1) % 4]) << c;
  }
}

TEST(AuditPolicyDialogTest, DoNotAuditDisablesTheGridButKeepsItsChoices) {
  policySettings = PolicySettings{};
  policySettings.auditingMode = 0;
  policySettings.successChoices[1] = AuditChoice::On;
  WhenModal([](QWidget* dialog) {
    EXPECT_TRUE(Control<QRadioButton>(dialog, 1034)->isChecked());
    EXPECT_EQ(EnabledGridControls(dialog), 0);
    Press(dialog, 1040);
    EXPECT_EQ(EnabledGridControls(dialog), 23);
    Press(dialog, 1034);
    Press(dialog, 1042);  // a disabled box keeps its state
    EXPECT_EQ(EnabledGridControls(dialog), 0);
    EXPECT_EQ(State(dialog, 1042), Qt::Checked);
    Press(dialog, 1);
  });
  AuditPolicyDialog(nullptr);
  EXPECT_EQ(policySettings.auditingMode, 0);
  EXPECT_EQ(policySettings.successChoices[1], AuditChoice::On);
  EXPECT_EQ(policySettings.failureChoices[1], AuditChoice::Unchanged);
}

}  // namespace

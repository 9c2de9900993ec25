// The Loading dialog of a type lookup, on the desktop: shown at once, its bar advanced as each
// lookup ends, gone when the last has.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include "browse/browse.h"
#include "browse/loading_dialog.h"
#include "frame/desktop_ui.h"
#include "programs/corvane/corvane_icon.xpm"
#include "tests/support/qt_ui.h"
#include "tests/support/temp_network.h"

namespace {

QWidget* ShownLoadingWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && Control<QProgressBar>(w, 1068)) return w;
  return nullptr;
}

TEST(LoadingDialogTest, ShowsEachLookupAsItEndsAndGoesWhenAllHave) {
  SetProgramIcon(corvane_icon_xpm);
  auto window = DesktopBrowseUi()->OpenLoadingWindow(nullptr);
  ASSERT_NE(window, nullptr);
  QWidget* shown = ShownLoadingWindow();
  ASSERT_NE(shown, nullptr) << "shown at once, before any lookup ends";
  window->SetRange(3);
  window->Step();
  window->Step();
  auto* bar = Control<QProgressBar>(shown, 1068);
  EXPECT_EQ(bar->maximum(), 3);
  EXPECT_EQ(bar->value(), 2);
  KeepScreenshot(shown, "corvane-loading");
  window->Close();
  EXPECT_EQ(ShownLoadingWindow(), nullptr);

  // A whole lookup leaves no window behind.
  TempNetwork net;
  net.AddComputer("SRV1");
  ComputerList list;
  list.Append(MakeRecordFromName("SRV1"));
  list.Append(MakeRecordFromName("GONE"));
  SetBrowseUi(DesktopBrowseUi());
  LookupComputerTypes(list, nullptr);
  SetBrowseUi(nullptr);
  EXPECT_EQ(list[0].typeImage, TypeImageWorkstation);
  EXPECT_EQ(ShownLoadingWindow(), nullptr);
}

}  // namespace

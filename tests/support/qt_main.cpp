// The main of the window tests: one application object for all of them, on the offscreen
// platform unless the caller chose another (QT_QPA_PLATFORM=xcb shows them on a display).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Qt wants a runtime folder; without one it would make its own in /tmp and leave it there.
  char folder[] = "/tmp/tallyard-ui-XXXXXX";
  const bool own = !::getenv("XDG_RUNTIME_DIR") && ::mkdtemp(folder);
  if (own) ::setenv("XDG_RUNTIME_DIR", folder, 1);
  ::testing::InitGoogleTest(&argc, argv);
  int result = 0;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (own) std::filesystem::remove_all(folder);
  return result;
}

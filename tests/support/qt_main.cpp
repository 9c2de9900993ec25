// The main of the window tests: one application object for all of them, on the offscreen
// platform unless the caller chose another (QT_QPA_PLATFORM=xcb shows them on a display).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstring>
#include <filesystem>

namespace {
// The offscreen platform says on every window that it cannot pass size hints on; nothing
// a test could act on.
void Quieter(QtMsgType type, const QMessageLogContext&, const QString& message) {
  const std::string text = message.toStdString();
  if (text.find("does not support propagateSizeHints") != std::string::npos) return;
  std::fprintf(stderr, "%s\n", text.c_str());
  if (type == QtFatalMsg) std::abort();
}
}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Qt wants a runtime folder; without one it would make its own in /tmp and leave it there.
  std::string runtime;
  if (!::getenv("XDG_RUNTIME_DIR")) {
    char folder[] = "/tmp/tallyard-ui-XXXXXX";
    if (::mkdtemp(folder)) runtime = folder;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  qInstallMessageHandler(Quieter);
  int result;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (!runtime.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
  }
  return result;
}

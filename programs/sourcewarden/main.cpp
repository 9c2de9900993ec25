// sourcewarden [--help | --version]
// The ODBC data-source manager: lists the drivers and data sources of this computer, makes and
// changes data sources for SQLite, PostgreSQL and MariaDB, tries them, and chooses the one
// Corvane gathers into. Corvane starts it from the install folder with no arguments.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/odbc/odbc_ini.h"
#include "programs/sourcewarden/sourcewarden_icon.xpm"
#include "programs/sourcewarden/sourcewarden_window.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: sourcewarden [--help | --version]\n"
               "Manages the ODBC data sources of this computer (system: %s, yours: %s;\n"
               "drivers: %s) and chooses the one Corvane gathers into.\n"
               "Started without arguments it opens its window.\n",
               platform::DataSourceFile(platform::DataSourceScope::System).c_str(),
               platform::DataSourceFile(platform::DataSourceScope::User).c_str(), platform::DriverFile().c_str());
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* v = std::getenv(name); v != nullptr && *v != '\0') return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::string arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      Usage(stdout);
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::printf("sourcewarden %s\n", TALLYARD_VERSION);
      return 0;
    }
    Usage(stderr);
    return 2;
  }
  // Without a display the toolkit would abort with a message of its own making.
  if (!HasDisplay()) {
    std::fprintf(stderr, "sourcewarden: no display to open the window on (DISPLAY is not set)\n");
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("Sourcewarden");
  QApplication::setWindowIcon(QPixmap(sourcewarden_icon_xpm));
  QGuiApplication::setDesktopFileName("sourcewarden");
  SourcewardenWindow window;
  window.show();
  return QApplication::exec();
}

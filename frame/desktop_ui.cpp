#include "frame/desktop_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "frame/frame_ui.h"
#include "frame/main_dialog.h"
#include "frame/message_box.h"
#include "frame/run_window.h"
#include "frame/widgets.h"

namespace {

const char* const* programIcon = nullptr;

QMessageBox::Icon IconOf(UINT type) {
  switch (type & 0xF0) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case 0x20: return QMessageBox::Question;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// Boxes may come from a run's worker: they are shown on the user interface thread, and the
// worker waits until the user has closed them.
class DesktopMessageBoxes : public MessageBoxSink {
 public:
  int Show(HWND owner, const std::string& text, const char* caption, UINT type) override {
    const QString title = QString::fromStdString(caption ? caption : "Error");
    const QString body = QString::fromStdString(text);
    return CallOnUiThread([&] {
      // A box for a window not shown yet (the start-up's) is centred on the screen instead.
      QWidget* parent = owner && WidgetOf(owner)->isVisible() ? WidgetOf(owner) : nullptr;
      QMessageBox box(IconOf(type), title, body, QMessageBox::Ok, parent);
      box.exec();
      return static_cast<int>(IDOK);
    });
  }
};

// Qt separates a filter's patterns by blanks, the common dialog by semicolons.
QString QtFilter(const FileFilter& filter) {
  std::string description = filter.description;
  if (size_t paren = description.find(" ("); paren != std::string::npos) description.resize(paren);
  QString patterns = QString::fromStdString(filter.pattern).replace(';', ' ');
  return QString::fromStdString(description) + " (" + patterns + ")";
}

class DesktopFrameUi : public FrameUi {
 public:
  bool ChooseFile(HWND owner, const char* title, const FileFilter& filter, std::string& name) override {
    QFileDialog dialog(WidgetOf(owner), title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QtFilter(filter));
    dialog.setFileMode(filter.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(filter.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Room for the name, size and date columns; the chooser's own minimum cuts them all.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 460)));
    // A pattern is what the filter already shows; a name is where the chooser starts.
    if (!name.empty() && name.find_first_of("*?") == std::string::npos) dialog.selectFile(QString::fromStdString(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    name = dialog.selectedFiles().first().toStdString();
    return true;
  }
  // The wait cursor is on or off, never stacked, as the system's one cursor is.
  void ShowWaitCursor() override {
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  void RestoreCursor() override {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
};

DesktopMessageBoxes messageBoxes;
DesktopFrameUi frameUi;
std::unique_ptr<RunWindows> runWindows;

bool HaveDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

QPixmap ProgramIcon() { return programIcon ? QPixmap(programIcon) : QPixmap(); }

void SetProgramIcon(const char* const* xpm) { programIcon = xpm; }

void BindDesktop(const MainWindowBinding& binding) {
  SetProgramIcon(binding.icon);
  SetMessageBoxSink(&messageBoxes);
  SetFrameUi(&frameUi);
  runWindows = MakeDesktopRunWindows(binding.progressTitle, binding.progressBar);
  SetRunWindows(runWindows.get());
}

void UnbindDesktop() {
  SetRunWindows(nullptr);
  runWindows.reset();
  SetFrameUi(nullptr);
  SetMessageBoxSink(nullptr);
}

int RunMainWindow(const MainWindowBinding& binding) {
  if (!HaveDisplay()) {
    std::string program = binding.title;
    for (char& c : program) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::fprintf(stderr, "%s: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                 program.c_str());
    return 0;
  }
  static int argc = 1;
  static std::string name = binding.title;
  static char* argv[] = {name.data(), nullptr};
  QApplication application(argc, argv);
  QApplication::setWindowIcon(QPixmap(binding.icon));
  // The desktop entry installed as <program>.desktop gives the window its name and icon.
  QGuiApplication::setDesktopFileName(QString::fromStdString(binding.title).toLower());
  BindDesktop(binding);
  {
    MainDialog dialog(binding);
    if (dialog.Initialise()) {
      dialog.show();
      application.exec();
    }
  }
  UnbindDesktop();
  return 0;
}

#include "frame/frame_ui.h"

#include <cstring>

namespace {
FrameUi* frameUi = nullptr;
}

void SetFrameUi(FrameUi* ui) { frameUi = ui; }
FrameUi* GetFrameUi() { return frameUi; }

FileFilter FileFilterOf(int kind) {
  switch (kind) {
    case ImportListKind: return {"Import Files (*.imp;*.exp)", "*.imp;*.exp", true};
    case ExportListKind: return {"Export Files (*.exp)", "*.exp", false};
    default: return {"Log Files (*.log)", "*.log", false};
  }
}

bool ChooseFile(HWND owner, const char* title, char* buffer, size_t bufferSize, int kind) {
  if (!frameUi || !buffer || bufferSize == 0) return false;
  std::string name(buffer, strnlen(buffer, bufferSize));
  if (!frameUi->ChooseFile(owner, title, FileFilterOf(kind), name)) return false;
  if (name.size() >= bufferSize) return false;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return true;
}

WaitCursor::WaitCursor() : ui_(frameUi) {
  if (ui_) ui_->ShowWaitCursor();
}

WaitCursor::~WaitCursor() {
  if (ui_) ui_->RestoreCursor();
}

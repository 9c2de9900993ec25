#include "frame/help.h"

#include <string>

#include "frame/app_state.h"
#include "frame/message_box.h"
#include "platform/core/desktop.h"
#include "platform/core/system_messages.h"

void ShowHelp(HWND owner, DWORD context) {
  if (WinHelpA(owner, appState.helpFile.c_str(), HELP_CONTEXT, context)) return;
  const DWORD code = GetLastError();
  std::string page = platform::HelpPagePath(appState.helpFile.c_str(), context);
  std::string text;
  if (code == ERROR_FILE_NOT_FOUND) {
    text = "The help page " + page + " cannot be found.";
  } else {
    std::string reason;
    platform::SystemMessageText(code, reason);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    text = "The help page " + page + " cannot be shown: " + reason;
  }
  MessageBoxA(owner, text.c_str(), "Help", MB_ICONEXCLAMATION | MB_OK);
}

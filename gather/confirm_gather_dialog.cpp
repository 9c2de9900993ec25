#include "gather/confirm_gather_dialog.h"

#include "frame/dialogs.h"

namespace {
constexpr DWORD kConfirmHelpContext = 1008;
}

bool ConfirmGatherDialog(HWND owner) {
  return ConfirmRunDialog(owner, {"Gather Event Logs", "Gather event logs from computers:", kConfirmHelpContext, true});
}

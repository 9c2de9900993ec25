// The system message table: the texts Windows gives for its error codes.
#pragma once

#include <string>

#include "platform/core/win32.h"

namespace platform {
// The text of `code` in the system table, ending with CR LF as Windows' texts do; false (and
// ERROR_MR_MID_NOT_FOUND) when the table has no text for it.
bool SystemMessageText(DWORD code, std::string& text);
}  // namespace platform

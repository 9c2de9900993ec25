// Reader of message text files (.mc), the source format of message DLLs: header statements
// (MessageIdTypedef, SeverityNames, FacilityNames, LanguageNames, OutputBase) and message
// definitions (MessageId, Severity, Facility, SymbolicName, Language and text blocks that end
// with a line holding a single ".").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/messages/message_dll_writer.h"

namespace hostkit {

struct MessageTextFile {
  std::string messageIdTypedef;
  std::vector<platform::MessageDllLanguage> languages;  // in the order first used
};

// Parses `text` (UTF-8). Each text line is stored ending with CR LF, as the message compiler
// stores it. False with "line N: why" in `error` for a malformed file.
bool ParseMessageTextFile(std::string_view text, MessageTextFile& out, std::string& error);

}  // namespace hostkit

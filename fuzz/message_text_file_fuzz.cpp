// Message text files: any text is refused with a line number or compiles to a DLL that reads
// back with the same messages, or holds a message too long for an entry and writes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/messages/message_dll_writer.h"
#include "platform/messages/pe_resources.h"
#include "tools/hostkit/message_text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hostkit::MessageTextFile file;
  std::string error;
  if (!hostkit::ParseMessageTextFile(std::string_view(reinterpret_cast<const char*>(data), size), file, error)) {
    if (error.rfind("line ", 0) != 0) std::abort();
    return 0;
  }
  for (bool ansi : {false, true}) {
    std::vector<uint8_t> dll = platform::WriteMessageDll(file.languages, {ansi, !ansi});
    bool tooLong = false;
    for (const auto& language : file.languages)
      for (const auto& message : language.messages)
        if (platform::MessageEntryBytes(message.text, ansi) > platform::kMaxMessageEntryBytes) tooLong = true;
    // A message longer than an entry holds is refused (no bytes), never written cut.
    if (tooLong != dll.empty()) std::abort();
    if (tooLong) continue;
    platform::MessageTables tables;
    if (platform::ReadMessageTables(dll.data(), dll.size(), tables) != ERROR_SUCCESS || tables.state != ERROR_SUCCESS)
      std::abort();
    if (tables.languages.size() != file.languages.size()) std::abort();
    for (const auto& language : file.languages)
      for (const auto& message : language.messages) {
        bool found = false;
        for (const auto& [id, table] : tables.languages) {
          platform::MessageEntry entry;
          if (id == language.language && platform::FindMessageEntry(table, message.id, entry) == ERROR_SUCCESS) found = true;
        }
        if (!found) std::abort();
      }
  }
  return 0;
}

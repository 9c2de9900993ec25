// PE message tables: any bytes either fail cleanly or give tables whose every entry reads and
// formats within bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/messages/message_module.h"
#include "platform/core/text.h"
#include "platform/messages/pe_layout.h"
#include "platform/messages/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::MessageTables tables;
  if (platform::ReadMessageTables(data, size, tables) != ERROR_SUCCESS) return 0;
  if (tables.state != ERROR_SUCCESS && !tables.languages.empty()) std::abort();
  for (const auto& [language, table] : tables.languages) {
    // The first ids of the first blocks, and ids just outside them.
    uint32_t blocks = table.size() >= 4 ? platform::LoadLe32(table.data()) : 0;
    for (uint32_t b = 0; b < blocks && b < 8 && 4 + (b + 1) * 12 <= table.size(); ++b) {
      uint32_t low = platform::LoadLe32(table.data() + 4 + b * 12);
      for (uint32_t id : {low, low + 1, low + 7, low - 1}) {
        platform::MessageEntry entry;
        if (platform::FindMessageEntry(table, id, entry) != ERROR_SUCCESS) continue;
        if (entry.text < table.data() || entry.text + entry.bytes > table.data() + table.size()) std::abort();
        std::string text = entry.unicode ? platform::Utf16LeToUtf8(entry.text, entry.bytes)
                                         : platform::Utf8FromCp1252(std::string_view(
                                               reinterpret_cast<const char*>(entry.text), entry.bytes));
        std::string out;
        platform::ExpandMessageText(text, FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, out);
        const char* word = "w";
        DWORD_PTR args[100];
        for (auto& a : args) a = reinterpret_cast<DWORD_PTR>(word);
        platform::ExpandMessageText(text, FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_MAX_WIDTH_MASK, args, out);
      }
    }
  }
  return 0;
}

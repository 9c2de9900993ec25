// hostkit msgdll OUT.dll FILE.mc [--ansi] [--pe32plus]: a message DLL from a message text file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/core/file_replace.h"
#include "platform/messages/message_dll_writer.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/message_text_file.h"

namespace hostkit {

// Replaced whole: `path` holds the new bytes or stays as it was.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (platform::ReplaceError e = platform::ReplaceFile(path, view)) {
    errno = e.error;
    return false;
  }
  return true;
}

namespace {

int RunMsgDll(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  platform::MessageDllOptions options;
  options.ansi = TakeFlag(args, "--ansi");
  options.pe32plus = TakeFlag(args, "--pe32plus");
  if (args.size() != 2) return Misused("msgdll");
  std::ifstream in(args[1], std::ios::binary);
  if (!in) return Fail("cannot read " + args[1] + ": " + std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MessageTextFile file;
  std::string error;
  if (!ParseMessageTextFile(text, file, error)) return Fail(args[1] + ": " + error);
  for (const auto& language : file.languages) {
    for (const auto& m : language.messages) {
      size_t bytes = platform::MessageEntryBytes(m.text, options.ansi);
      if (bytes > platform::kMaxMessageEntryBytes) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(m.id));
        return Fail(args[1] + ": message " + id + " is too long: its table entry would take " +
                    std::to_string(bytes) + " bytes, at most " + std::to_string(platform::kMaxMessageEntryBytes) +
                    " fit");
      }
    }
  }
  std::vector<uint8_t> dll = platform::WriteMessageDll(file.languages, options);
  if (dll.empty()) return Fail("cannot build " + args[0]);
  const std::string_view bytes(reinterpret_cast<const char*>(dll.data()), dll.size());
  if (platform::ReplaceError e = platform::ReplaceFile(args[0], bytes))
    return Fail("cannot write " + args[0] + ": " + std::strerror(e.error));
  return 0;
}

const VerbRegistration registration({
    "msgdll",
    "hostkit msgdll OUT.dll FILE.mc [--ansi] [--pe32plus]",
    "Compiles a message text file (the .mc format: MessageId, SymbolicName, Severity, Facility,\n"
    "Language, the text up to a line with a single \".\") into a resource-only DLL with a message\n"
    "table, as event sources name in EventMessageFile, CategoryMessageFile and\n"
    "ParameterMessageFile. OUT.dll is replaced whole.\n"
    "\n"
    "  --ansi      8-bit message entries (code page 1252) instead of Unicode ones\n"
    "  --pe32plus  a 64-bit image (PE32+) instead of a 32-bit one\n",
    RunMsgDll});

}  // namespace
}  // namespace hostkit

// hostkit msgdll OUT.dll FILE.mc [--ansi] [--pe32plus]: a message DLL from a message text file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/messages/message_dll_writer.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/message_text_file.h"

namespace hostkit {

// Writes a new file beside `path` and renames it into place, so `path` is whole or untouched.
// mkstemp makes a file of its own under a name nobody can plant a link at; the answers of
// fsync and close count (a full disk may say so only there); the temporary never stays.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp makes the file 0600: give it the mode any new file gets here.
  mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    errno = saved;
  }
  return ok;
}

namespace {

int RunMsgDll(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  platform::MessageDllOptions options;
  options.ansi = TakeFlag(args, "--ansi");
  options.pe32plus = TakeFlag(args, "--pe32plus");
  if (args.size() != 2) return Fail("usage: hostkit msgdll OUT.dll FILE.mc [--ansi] [--pe32plus]", 2);
  std::ifstream in(args[1], std::ios::binary);
  if (!in) return Fail("cannot read " + args[1]);
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
  if (!WriteWhole(args[0], dll)) return Fail("cannot write " + args[0] + ": " + std::strerror(errno));
  return 0;
}

const VerbRegistration registration({"msgdll",
                                     "hostkit msgdll OUT.dll FILE.mc [--ansi] [--pe32plus]   message DLL from a "
                                     "message text file (Unicode entries unless --ansi)",
                                     RunMsgDll});

}  // namespace
}  // namespace hostkit

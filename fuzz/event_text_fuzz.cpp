// The description's text expansions: the input is a message text, then insertion strings,
// separated by NUL bytes. Inserts, parameter references (against a module whose parameter
// messages refer to themselves and grow) and the loader's escapes must end and stay bounded.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gather/event_row.h"
#include "platform/messages/message_dll_writer.h"

namespace {

HMODULE ParameterModule() {
  static HMODULE module = [] {
    char folder[] = "/tmp/tallyard-fuzz-XXXXXX";
    if (!mkdtemp(folder)) return HMODULE{};
    // A network of no computers: the language search finds no image of this computer.
    ::setenv("TALLYARD_NETWORK", folder, 1);
    ::setenv("COMPUTERNAME", "FUZZ", 1);
    std::string path = std::string(folder) + "/param.dll";
    auto bytes = platform::WriteMessageDll(
        {{0x0409, {{1, "one"}, {2, "%%2"}, {3, "ab%%3"}, {4, "%%1%%4%%4"}, {5, "%1 %%5%n"}, {1234, "x"}}}});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return HMODULE{};
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    HMODULE m = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ::unlink(path.c_str());
    ::rmdir(folder);
    return m;
  }();
  return module;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) parts.emplace_back();
    else parts.back().push_back(static_cast<char>(data[i]));
  }
  std::string text = parts[0];
  // A few strings are enough to reach every path; many would only make each input slow.
  if (parts.size() > 9) parts.resize(9);
  std::vector<std::string> strings(parts.begin() + 1, parts.end());
  size_t longest = 0;
  for (auto& s : strings) {
    size_t before = s.size();
    ExpandParameters(s, ParameterModule());
    // Each expansion adds at most the longest parameter message.
    if (s.size() > before + kMaxParameterExpansions * 16) std::abort();
    longest = std::max(longest, s.size());
  }
  std::string substituted = text;
  SubstituteInserts(substituted, strings);
  // Every "%n" consumes at least two characters of the text for one string.
  if (substituted.size() > text.size() + (text.size() / 2 + 1) * longest) std::abort();
  std::string out;
  platform::ExpandMessageText(text, FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, out);
  if (out.size() > 2 * text.size()) std::abort();
  return 0;
}

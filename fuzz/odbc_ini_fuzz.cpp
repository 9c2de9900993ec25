// odbc.ini and odbcinst.ini text of any kind: every section has a name, once; every entry has
// a key, once per section, without the "=" it was split at; nothing keeps its surrounding blanks.
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/odbc/odbc_ini.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool Trimmed(std::string_view s) { return s.empty() || (!Blank(s.front()) && !Blank(s.back())); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto sections = platform::ParseOdbcIni(std::string_view(reinterpret_cast<const char*>(data), size));
  for (size_t i = 0; i < sections.size(); ++i) {
    const auto& section = sections[i];
    if (section.name.empty() || !Trimmed(section.name) || section.name.find('\n') != std::string::npos) std::abort();
    for (size_t j = 0; j < i; ++j)
      if (Same(sections[j].name, section.name)) std::abort();
    for (size_t k = 0; k < section.entries.size(); ++k) {
      const auto& [key, value] = section.entries[k];
      if (key.empty() || !Trimmed(key) || !Trimmed(value) || key.find('=') != std::string::npos) std::abort();
      for (size_t m = 0; m < k; ++m)
        if (Same(section.entries[m].first, key)) std::abort();
    }
  }
  return 0;
}

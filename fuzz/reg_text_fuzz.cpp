// Arbitrary bytes as a registry text file: read whole or refused with a line number.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry/hive_regtext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<platform::RegTextChange> changes;
  std::string error;
  const bool ok = platform::ParseRegText(std::string_view(reinterpret_cast<const char*>(data), size), changes, error);
  if (!ok && (error.rfind("line ", 0) != 0 || !changes.empty())) {
    std::fprintf(stderr, "refusal without its line: %s\n", error.c_str());
    std::abort();
  }
  return 0;
}

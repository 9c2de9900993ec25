// List files: any bytes give records whose names are short, never start with "\\", and never
// outnumber the file's lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "r") : std::tmpfile();
  if (!f) return 0;
  ComputerList list;
  ReadListNames(f, list);
  std::fclose(f);
  size_t lines = 1;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  if (list.Count() > lines) std::abort();
  for (const auto& r : list) {
    if (r.name.empty() || r.name.size() > kMaxComputerName) std::abort();
    if (r.name.find('\0') != std::string::npos) std::abort();
    if (r.typeText != "Unknown" || r.selected != 0) std::abort();
  }
  return 0;
}

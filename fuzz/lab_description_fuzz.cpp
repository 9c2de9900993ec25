// Lab descriptions: any text is refused with a reason, or reads into a lab whose every event
// names a declared source of its log and whose strings expand without reading past a brace.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/hostkit/lab_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hostkit::LabDescription lab;
  std::string error;
  if (!hostkit::ParseLabDescription(std::string_view(reinterpret_cast<const char*>(data), size), lab, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (const auto& e : lab.events) {
    bool declared = false;
    for (const auto& s : lab.sources) declared = declared || (s.log == e.log && s.name == e.source);
    if (!declared) std::abort();
    for (const auto& text : e.strings) {
      std::string out = hostkit::ExpandLabString(text, "PC", "LAB", [&](const std::string& list, std::string& o) {
        auto it = lab.words.find(list);
        if (it == lab.words.end()) std::abort();  // checked when read
        if (!it->second.empty()) o += it->second.front();
        return true;
      });
      (void)out;
    }
  }
  for (const auto& c : lab.computers)
    for (const auto& [log, count] : c.events)
      if (count > hostkit::kMaxLabRecordsPerLog) std::abort();
  return 0;
}

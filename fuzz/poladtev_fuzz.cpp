// Arbitrary bytes as a computer's audit policy value: decoding never crashes, a value we know
// encodes back to the very same bytes, and a set (taken from the input itself) keeps the size,
// the padding, the count and every category it was not sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/lsa/audit_events.h"

namespace {
void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  platform::AuditEventsValue value;
  std::string why;
  if (!platform::DecodeAuditEvents(bytes, value, &why)) {
    Check(!why.empty(), "a refused value must say why");
    return 0;
  }
  Check(platform::EncodeAuditEvents(value) == bytes, "a decoded value encodes to other bytes");
  const auto categories = static_cast<uint32_t>(value.options.size());
  std::vector<uint32_t> sent(categories);
  for (uint32_t i = 0; i < categories; ++i) sent[i] = data[(i * 7 + 3) % size];
  const uint32_t count = data[4] % (categories + 1);
  platform::AuditEventsValue changed = value;
  platform::MergeAuditEvents(changed, data[8], sent.data(), count);
  const std::string out = platform::EncodeAuditEvents(changed);
  Check(out.size() == size && out.compare(1, 3, bytes, 1, 3) == 0, "a set changed the size or the padding");
  for (uint32_t i = 0; i < categories; ++i) {
    if (i >= count) Check(changed.options[i] == value.options[i], "a category not sent changed");
    else Check((changed.options[i] & sent[i] & 3) == (sent[i] & 3), "a category lost a bit it was sent");
  }
  return 0;
}

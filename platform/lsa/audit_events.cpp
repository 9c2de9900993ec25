#include "platform/lsa/audit_events.h"

#include "platform/lsa/poladtev_layout.h"

namespace platform {
namespace {

constexpr uint32_t kSuccess = 1, kFailure = 2, kNone = 4;

bool Refuse(std::string* why, std::string reason) {
  if (why) *why = std::move(reason);
  return false;
}

}  // namespace

bool DecodeAuditEvents(std::string_view bytes, AuditEventsValue& out, std::string* why) {
  using namespace poladtev;
  const size_t size = bytes.size();
  if (size != ValueSize(kNt4Categories) && size != ValueSize(kWin2000Categories))
    return Refuse(why, std::to_string(size) + " bytes, a layout we do not know (36 bytes for NT 4.0, 44 for 2000/XP)");
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint32_t count = size == ValueSize(kNt4Categories) ? kNt4Categories : kWin2000Categories;
  // The size alone could be chance; the count the value carries must agree with it.
  const uint32_t stored = Load32(p + CountOffset(count));
  if (stored != count)
    return Refuse(why, std::to_string(size) + " bytes that say " + std::to_string(stored) + " categories instead of " +
                           std::to_string(count) + ", a layout we do not know");
  out.mode = p[kMode];
  for (size_t i = 0; i < kPaddingSize; ++i) out.padding[i] = p[kPadding + i];
  out.options.resize(count);
  for (uint32_t i = 0; i < count; ++i) out.options[i] = Load32(p + OptionOffset(i));
  return true;
}

std::string EncodeAuditEvents(const AuditEventsValue& value) {
  using namespace poladtev;
  const auto count = static_cast<uint32_t>(value.options.size());
  std::string bytes(ValueSize(count), '\0');
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  p[kMode] = value.mode;
  for (size_t i = 0; i < kPaddingSize; ++i) p[kPadding + i] = value.padding[i];
  for (uint32_t i = 0; i < count; ++i) Store32(p + OptionOffset(i), value.options[i]);
  Store32(p + CountOffset(count), count);
  return bytes;
}

void MergeAuditEvents(AuditEventsValue& value, uint8_t mode, const uint32_t* options, uint32_t count) {
  value.mode = mode;
  for (uint32_t i = 0; i < count && i < value.options.size(); ++i) {
    uint32_t& stored = value.options[i];
    if (options[i] & kNone) stored = 0;
    stored |= options[i] & (kSuccess | kFailure);
  }
}

}  // namespace platform

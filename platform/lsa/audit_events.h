// The audit policy value of a computer decoded, and the LSA's rule for changing it. Works on bytes
// alone (the value comes from a hive that anyone with the image may have written).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct AuditEventsValue {
  uint8_t mode = 0;
  uint8_t padding[3] = {};
  std::vector<uint32_t> options;  // one mask per category: 7 on NT 4.0, 9 on 2000/XP
};

// False when `bytes` is not one of the two layouts we know; `why` then says what does not fit
// (for a person: tools print it).
bool DecodeAuditEvents(std::string_view bytes, AuditEventsValue& out, std::string* why = nullptr);
std::string EncodeAuditEvents(const AuditEventsValue& value);

// A set as the LSA applies it: the mode is taken as given; for each category sent, a mask with
// the "none" bit (4) clears the category first, then its success (1) and failure (2) bits are
// added; other bits of the mask mean nothing. Categories beyond `count` keep what they hold.
// `count` must not exceed the value's categories (the caller refuses that).
void MergeAuditEvents(AuditEventsValue& value, uint8_t mode, const uint32_t* options, uint32_t count);

}  // namespace platform

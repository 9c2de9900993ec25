// The fields of an event as the hostkit verbs and lab descriptions write them: numbers (decimal
// or 0x hex), hex bytes, SIDs in their "S-1-..." form and event type names; and an audit policy
// as the audit report writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/win32.h"

namespace hostkit {

// A number no larger than `max`; no sign, nothing after it.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out);
// An even number of hex digits.
bool ParseHex(const std::string& text, std::vector<uint8_t>& out);
// "S-1-5-21-1-2-3-500" as a binary SID.
bool ParseSid(const std::string& text, std::vector<uint8_t>& out);
// A log's size limit: "512K", "4M" or a number of bytes, a whole number of 64 KiB steps, as NT
// keeps its logs.
bool ParseLogSize(const std::string& text, DWORD& out);
// "error", "warning", "information", "audit-success", "audit-failure", "success" or a number.
bool ParseType(const std::string& text, WORD& type);
// "+" seven letters " -" seven letters ("+RLfupsg -rlfupsG"): a letter in upper case audits its
// category's successes (first group) or failures (second group). The seven options as the LSA
// takes them: success and failure bits, or POLICY_AUDIT_EVENT_NONE for neither.
bool ParsePolicyText(const std::string& text, DWORD (&options)[7]);

}  // namespace hostkit

// The audit policy model: the one apply of PolicySettings to one computer through its Local
// Security Authority, and the short text that records a computer's policy in the run report.
#pragma once

#include <cstddef>

#include "frame/settings.h"
#include "platform/lsa/lsa.h"

// "+rlfupsg -rlfupsg" or "Auditing Disabled" and the NUL: the least a policy text buffer holds.
constexpr size_t kPolicyTextSize = 18;

// The longest computer name handed to the LSA, in UTF-16 units (the terminator not counted).
constexpr size_t kMaxPolicyNameUnits = 49;

// Opens the policy of `systemName` (a NUL-terminated UTF-16 name; an empty one is a name of
// length 0, which the LSA takes for this computer) with `desiredAccess`.
NTSTATUS OpenComputerPolicy(LPCWSTR systemName, ACCESS_MASK desiredAccess, LSA_HANDLE* policyHandle);

// Applies `settings` to `computerName` (UTF-8, as the list holds it). 0 when the policy was set;
// otherwise the Win32 code of the failing call. `policyText` (at least kPolicyTextSize bytes)
// then holds the policy as set, the policy read before a refused set, or "Unknown" when none
// could be read.
DWORD ApplyAuditPolicy(const char* computerName, const PolicySettings& settings, char* policyText);

// "+" and the seven success letters, a blank, "-" and the seven failure letters (upper case for
// an audited category), or "Auditing Disabled". `text` holds at least kPolicyTextSize bytes.
void FormatPolicyText(const POLICY_AUDIT_EVENTS_INFO& info, char* text);

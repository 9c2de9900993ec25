#include "audit/audit_policy.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "frame/computer_list.h"
#include "platform/core/text.h"

namespace {

constexpr char kNotAudited[] = "rlfupsg";
constexpr char kAudited[] = "RLFUPSG";
constexpr char kUnknown[] = "Unknown";
constexpr char kDisabled[] = "Auditing Disabled";

// Closes the policy on every path out of an apply.
class PolicyHandle {
 public:
  explicit PolicyHandle(LSA_HANDLE handle) : handle_(handle) {}
  ~PolicyHandle() { LsaClose(handle_); }
  PolicyHandle(const PolicyHandle&) = delete;
  PolicyHandle& operator=(const PolicyHandle&) = delete;
  LSA_HANDLE get() const { return handle_; }

 private:
  LSA_HANDLE handle_;
};

// Releases the queried buffer on every path out of an apply.
class LsaBuffer {
 public:
  explicit LsaBuffer(PVOID buffer) : buffer_(buffer) {}
  ~LsaBuffer() { LsaFreeMemory(buffer_); }
  LsaBuffer(const LsaBuffer&) = delete;
  LsaBuffer& operator=(const LsaBuffer&) = delete;

 private:
  PVOID buffer_;
};

// The list holds names in the platform's 8-bit code page, UTF-8; widening each byte on its own
// would turn every character beyond ASCII into garbage the LSA cannot find.
void WidenComputerName(const char* name, WCHAR (&wide)[kMaxPolicyNameUnits + 1]) {
  std::u16string units = platform::Utf8ToUtf16(name ? name : "");
  size_t length = std::min(units.size(), kMaxPolicyNameUnits);
  // Never keep half of a surrogate pair.
  if (length > 0 && length < units.size() && units[length - 1] >= 0xD800 && units[length - 1] <= 0xDBFF) --length;
  for (size_t i = 0; i < length; ++i) wide[i] = units[i];
  wide[length] = 0;
}

// A choice other than Off or On, as the registry may hold, leaves the bit as the computer has it.
void ApplyChoice(DWORD& option, AuditChoice choice, DWORD bit) {
  switch (static_cast<int32_t>(choice)) {
    case static_cast<int32_t>(AuditChoice::Off): option &= ~bit; break;
    case static_cast<int32_t>(AuditChoice::On): option |= bit; break;
    default: break;
  }
}

}  // namespace

NTSTATUS OpenComputerPolicy(LPCWSTR systemName, ACCESS_MASK desiredAccess, LSA_HANDLE* policyHandle) {
  LSA_OBJECT_ATTRIBUTES attributes;
  std::memset(&attributes, 0, sizeof attributes);
  size_t units = 0;
  while (systemName && systemName[units]) ++units;
  LSA_UNICODE_STRING name;
  name.Length = static_cast<USHORT>(units * sizeof(WCHAR));
  name.MaximumLength = static_cast<USHORT>(name.Length + sizeof(WCHAR));
  name.Buffer = const_cast<PWSTR>(systemName);
  return LsaOpenPolicy(&name, &attributes, desiredAccess, policyHandle);
}

DWORD ApplyAuditPolicy(const char* computerName, const PolicySettings& settings, char* policyText) {
  WCHAR wide[kMaxPolicyNameUnits + 1];
  WidenComputerName(computerName, wide);
  LSA_HANDLE handle = nullptr;
  NTSTATUS status = OpenComputerPolicy(wide, POLICY_VIEW_AUDIT_INFORMATION | POLICY_SET_AUDIT_REQUIREMENTS, &handle);
  if (status != STATUS_SUCCESS) {
    CopyText(policyText, kPolicyTextSize, kUnknown);
    return LsaNtStatusToWinError(status);
  }
  PolicyHandle policy(handle);

  PVOID queried = nullptr;
  status = LsaQueryInformationPolicy(policy.get(), PolicyAuditEventsInformation, &queried);
  if (status != STATUS_SUCCESS) {
    CopyText(policyText, kPolicyTextSize, kUnknown);
    return LsaNtStatusToWinError(status);
  }
  LsaBuffer buffer(queried);
  auto& info = *static_cast<POLICY_AUDIT_EVENTS_INFO*>(queried);
  FormatPolicyText(info, policyText);

  // "Do Not Audit" still sends the categories: they change although auditing goes off.
  info.AuditingMode = static_cast<BOOLEAN>(settings.auditingMode & 0xFF);
  // Exactly the seven categories the settings know; those after them go back as queried. An
  // array shorter than seven (no layout we serve has one) is changed as far as it goes.
  const DWORD categories = std::min<DWORD>(info.MaximumAuditEventCount, kAuditCategoryCount);
  for (DWORD i = 0; i < categories; ++i) {
    DWORD& option = info.EventAuditingOptions[i];
    ApplyChoice(option, settings.successChoices[i], POLICY_AUDIT_EVENT_SUCCESS);
    ApplyChoice(option, settings.failureChoices[i], POLICY_AUDIT_EVENT_FAILURE);
    option |= POLICY_AUDIT_EVENT_NONE;
  }
  status = LsaSetInformationPolicy(policy.get(), PolicyAuditEventsInformation, &info);
  if (status != STATUS_SUCCESS) return LsaNtStatusToWinError(status);
  FormatPolicyText(info, policyText);
  return ERROR_SUCCESS;
}

void FormatPolicyText(const POLICY_AUDIT_EVENTS_INFO& info, char* text) {
  if (!info.AuditingMode) {
    std::memcpy(text, kDisabled, sizeof kDisabled);
    return;
  }
  text[0] = '+';
  text[8] = ' ';
  text[9] = '-';
  for (DWORD i = 0; i < static_cast<DWORD>(kAuditCategoryCount); ++i) {
    const DWORD option = i < info.MaximumAuditEventCount && info.EventAuditingOptions ? info.EventAuditingOptions[i] : 0;
    text[1 + i] = (option & POLICY_AUDIT_EVENT_SUCCESS) ? kAudited[i] : kNotAudited[i];
    text[10 + i] = (option & POLICY_AUDIT_EVENT_FAILURE) ? kAudited[i] : kNotAudited[i];
  }
  text[17] = '\0';
}

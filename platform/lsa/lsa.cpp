#include "platform/lsa/lsa.h"

#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/core/text.h"
#include "platform/registry/registry.h"

namespace platform {
namespace {

constexpr char kAuditEventsKey[] = "SECURITY\\Policy\\PolAdtEv";

struct LsaPolicy : HandleObject {
  std::string computer;  // the image's folder name, found again at every call
  ACCESS_MASK access = 0;
};

std::mutex& BufferMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<void*>& LiveBuffers() {
  static auto* buffers = new std::unordered_set<void*>();
  return *buffers;
}

// How a failure of the hive below the policy shows through the LSA.
NTSTATUS StatusFromHive(DWORD rc) {
  switch (rc) {
    case ERROR_SUCCESS: return STATUS_SUCCESS;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return STATUS_OBJECT_NAME_NOT_FOUND;
    case ERROR_ACCESS_DENIED: return STATUS_ACCESS_DENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return STATUS_NO_MEMORY;
    case ERROR_DISK_FULL: return STATUS_DISK_FULL;
    case ERROR_BADDB:
    case ERROR_REGISTRY_CORRUPT:
    case ERROR_KEY_DELETED: return STATUS_INTERNAL_DB_CORRUPTION;
    default: return STATUS_UNSUCCESSFUL;
  }
}

bool Grants(const LsaPolicy& policy, ACCESS_MASK right) {
  return (policy.access & right) == right || (policy.access & MAXIMUM_ALLOWED) != 0;
}

// The computer behind a handle, as the network holds it now (it may have been switched off or
// have had its faults changed since the open).
NTSTATUS Reach(const LsaPolicy& policy, ComputerImage& image) {
  return ReachComputer(policy.computer.c_str(), image) == ERROR_SUCCESS ? STATUS_SUCCESS : RPC_NT_SERVER_UNAVAILABLE;
}

bool KnownCategoryCount(size_t count) { return count == 7 || count == 9; }

}  // namespace

NTSTATUS ReadImageAuditEvents(const ComputerImage& computer, AuditEventsValue& out, std::string* why) {
  RegistryValue stored;
  if (DWORD rc = ReadImageValue(computer, kAuditEventsKey, "", stored)) {
    if (why) *why = std::string("cannot read ") + kAuditEventsKey + ": error " + std::to_string(rc);
    return StatusFromHive(rc);
  }
  return DecodeAuditEvents(stored.data, out, why) ? STATUS_SUCCESS : STATUS_UNKNOWN_REVISION;
}

NTSTATUS ChangeImageAuditEvents(const ComputerImage& computer, bool createMissing,
                                const std::function<NTSTATUS(AuditEventsValue&)>& change, std::string* why) {
  NTSTATUS status = STATUS_SUCCESS;
  // Any code but 0 from the change keeps the hive as it was; `status` says which.
  constexpr DWORD kRefused = ERROR_INVALID_DATA;
  const DWORD rc = ChangeImageKey(computer, kAuditEventsKey, createMissing, [&](Hive& hive, HiveNode node) -> DWORD {
    RegistryValue stored{REG_NONE, {}};
    AuditEventsValue value;
    if (DWORD r = hive.GetValue(node, "", stored)) {
      if (r != ERROR_FILE_NOT_FOUND || !createMissing) return r;
      stored = RegistryValue{REG_NONE, {}};
    } else if (!DecodeAuditEvents(stored.data, value, why)) {
      status = STATUS_UNKNOWN_REVISION;
      return kRefused;
    }
    if ((status = change(value)) != STATUS_SUCCESS) return kRefused;
    if (!KnownCategoryCount(value.options.size())) {
      status = STATUS_INVALID_PARAMETER;
      return kRefused;
    }
    const std::string bytes = EncodeAuditEvents(value);
    if (bytes == stored.data) return ERROR_SUCCESS;  // nothing to commit, the file stays as it is
    return hive.SetValue(node, "", RegistryValue{stored.type, bytes});
  });
  if (status != STATUS_SUCCESS) return status;
  if (rc != ERROR_SUCCESS && why) *why = std::string("cannot change ") + kAuditEventsKey + ": error " + std::to_string(rc);
  return StatusFromHive(rc);
}

namespace testing {
size_t LiveLsaBufferCount() {
  std::lock_guard lock(BufferMutex());
  return LiveBuffers().size();
}
}  // namespace testing

}  // namespace platform

using namespace platform;

NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING systemName, PLSA_OBJECT_ATTRIBUTES objectAttributes,
                       ACCESS_MASK desiredAccess, PLSA_HANDLE policyHandle) {
  if (!objectAttributes || !policyHandle) return STATUS_INVALID_PARAMETER;
  std::string name;
  if (systemName) {
    const USHORT length = systemName->Length;
    if (length % 2 != 0 || length > systemName->MaximumLength || (length > 0 && !systemName->Buffer))
      return STATUS_INVALID_PARAMETER;
    std::string utf16le;
    for (USHORT i = 0; i < length / 2; ++i) {
      utf16le.push_back(static_cast<char>(systemName->Buffer[i] & 0xFF));
      utf16le.push_back(static_cast<char>(systemName->Buffer[i] >> 8));
    }
    name = Utf16LeToUtf8(utf16le);
    // A name with a NUL inside names no computer; it must not reach the local one by being cut.
    if (name.find('\0') != std::string::npos) return RPC_NT_SERVER_UNAVAILABLE;
  }
  ComputerImage image;
  if (ReachComputer(name.c_str(), image) != ERROR_SUCCESS) return RPC_NT_SERVER_UNAVAILABLE;
  if (image.host.Denies("lsa-open")) return STATUS_ACCESS_DENIED;
  auto policy = std::make_shared<LsaPolicy>();
  policy->computer = image.name;
  policy->access = desiredAccess;
  *policyHandle = RegisterHandle(policy);
  return STATUS_SUCCESS;
}

NTSTATUS LsaQueryInformationPolicy(LSA_HANDLE policyHandle, POLICY_INFORMATION_CLASS informationClass, PVOID* buffer) {
  auto policy = LookupHandle<LsaPolicy>(policyHandle);
  if (!policy) return STATUS_INVALID_HANDLE;
  if (!buffer) return STATUS_INVALID_PARAMETER;
  if (informationClass != PolicyAuditEventsInformation) return STATUS_INVALID_INFO_CLASS;
  if (!Grants(*policy, POLICY_VIEW_AUDIT_INFORMATION)) return STATUS_ACCESS_DENIED;
  ComputerImage image;
  if (NTSTATUS s = Reach(*policy, image)) return s;
  AuditEventsValue value;
  if (NTSTATUS s = ReadImageAuditEvents(image, value)) return s;

  // One allocation holds the info and its options, so one LsaFreeMemory releases both.
  const size_t head = (sizeof(POLICY_AUDIT_EVENTS_INFO) + alignof(DWORD) - 1) / alignof(DWORD) * alignof(DWORD);
  void* block = std::calloc(1, head + value.options.size() * sizeof(DWORD));
  if (!block) return STATUS_NO_MEMORY;
  auto* info = static_cast<POLICY_AUDIT_EVENTS_INFO*>(block);
  info->AuditingMode = value.mode;
  info->EventAuditingOptions = reinterpret_cast<DWORD*>(static_cast<char*>(block) + head);
  info->MaximumAuditEventCount = static_cast<DWORD>(value.options.size());
  for (size_t i = 0; i < value.options.size(); ++i) info->EventAuditingOptions[i] = value.options[i];
  {
    std::lock_guard lock(BufferMutex());
    LiveBuffers().insert(block);
  }
  *buffer = block;
  return STATUS_SUCCESS;
}

NTSTATUS LsaSetInformationPolicy(LSA_HANDLE policyHandle, POLICY_INFORMATION_CLASS informationClass, PVOID buffer) {
  auto policy = LookupHandle<LsaPolicy>(policyHandle);
  if (!policy) return STATUS_INVALID_HANDLE;
  if (!buffer) return STATUS_INVALID_PARAMETER;
  if (informationClass != PolicyAuditEventsInformation) return STATUS_INVALID_INFO_CLASS;
  if (!Grants(*policy, POLICY_SET_AUDIT_REQUIREMENTS)) return STATUS_ACCESS_DENIED;
  ComputerImage image;
  if (NTSTATUS s = Reach(*policy, image)) return s;
  if (image.host.Denies("lsa-set")) return STATUS_ACCESS_DENIED;
  const auto* info = static_cast<const POLICY_AUDIT_EVENTS_INFO*>(buffer);
  if (info->MaximumAuditEventCount == 0 || !info->EventAuditingOptions) return STATUS_INVALID_PARAMETER;
  return ChangeImageAuditEvents(image, false, [&](AuditEventsValue& value) {
    if (info->MaximumAuditEventCount > value.options.size()) return STATUS_INVALID_PARAMETER;
    MergeAuditEvents(value, info->AuditingMode, info->EventAuditingOptions, info->MaximumAuditEventCount);
    return STATUS_SUCCESS;
  });
}

NTSTATUS LsaFreeMemory(PVOID buffer) {
  if (!buffer) return STATUS_SUCCESS;
  {
    std::lock_guard lock(BufferMutex());
    if (LiveBuffers().erase(buffer) == 0) return STATUS_INVALID_PARAMETER;
  }
  std::free(buffer);
  return STATUS_SUCCESS;
}

NTSTATUS LsaClose(LSA_HANDLE objectHandle) {
  return ReleaseHandle<LsaPolicy>(objectHandle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

DWORD LsaNtStatusToWinError(NTSTATUS status) {
  static const struct {
    NTSTATUS status;
    DWORD error;
  } kTable[] = {
      {STATUS_MORE_ENTRIES, ERROR_MORE_DATA},
      {STATUS_SOME_NOT_MAPPED, ERROR_SOME_NOT_MAPPED},
      {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
      {STATUS_NO_MORE_ENTRIES, ERROR_NO_MORE_ITEMS},
      {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
      {STATUS_INVALID_INFO_CLASS, ERROR_INVALID_PARAMETER},
      {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
      {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
      {STATUS_NO_SUCH_FILE, ERROR_FILE_NOT_FOUND},
      {STATUS_END_OF_FILE, ERROR_HANDLE_EOF},
      {STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
      {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
      {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
      {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
      {STATUS_OBJECT_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
      {STATUS_UNKNOWN_REVISION, ERROR_UNKNOWN_REVISION},
      {STATUS_NO_SUCH_USER, ERROR_NO_SUCH_USER},
      {STATUS_NONE_MAPPED, ERROR_NONE_MAPPED},
      {STATUS_DISK_FULL, ERROR_DISK_FULL},
      {STATUS_RESOURCE_DATA_NOT_FOUND, ERROR_RESOURCE_DATA_NOT_FOUND},
      {STATUS_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {STATUS_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND},
      {STATUS_BAD_NETWORK_PATH, ERROR_BAD_NETPATH},
      {STATUS_BAD_NETWORK_NAME, ERROR_BAD_NET_NAME},
      {STATUS_INTERNAL_DB_CORRUPTION, ERROR_INTERNAL_DB_CORRUPTION},
      {STATUS_MESSAGE_NOT_FOUND, ERROR_MR_MID_NOT_FOUND},
      {STATUS_LOG_FILE_FULL, ERROR_LOG_FILE_FULL},
      {STATUS_EVENTLOG_FILE_CORRUPT, ERROR_EVENTLOG_FILE_CORRUPT},
      {STATUS_EVENTLOG_CANT_START, ERROR_EVENTLOG_CANT_START},
      {STATUS_EVENTLOG_FILE_CHANGED, ERROR_EVENTLOG_FILE_CHANGED},
      {STATUS_RESOURCE_LANG_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND},
      {RPC_NT_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
      {RPC_NT_SERVER_TOO_BUSY, RPC_S_SERVER_TOO_BUSY},
  };
  auto bits = static_cast<uint32_t>(status);
  // Success passes as 0, and customer-defined values are already Win32 codes.
  if (bits == 0 || (bits & 0x20000000u)) return bits;
  if ((bits & 0xF0000000u) == 0xD0000000u) bits &= ~0x10000000u;
  for (const auto& entry : kTable)
    if (static_cast<uint32_t>(entry.status) == bits) return entry.error;
  // Facilities that carry a Win32 code in their low word.
  if ((bits >> 16) == 0xC001u || (bits >> 16) == 0x8007u) return bits & 0xFFFFu;
  return ERROR_MR_MID_NOT_FOUND;
}

// The Local Security Authority of a computer, as advapi32 serves it, for the one policy the
// programs touch: the audit events, kept in the default value of SECURITY\Policy\PolAdtEv of the
// computer's image. Calls answer NTSTATUS, as on Windows; LsaNtStatusToWinError turns that into
// the Win32 code callers report.
//
// Answers: 0; RPC_NT_SERVER_UNAVAILABLE for a computer that is not in the network folder or is
// switched off; STATUS_ACCESS_DENIED when host.ini says deny = lsa-open (the open) or
// deny = lsa-set (every set), or the handle lacks the right the call needs, or the hive file may
// not be written; STATUS_INVALID_HANDLE for a stale or closed handle; STATUS_INVALID_PARAMETER
// for a malformed argument; STATUS_INVALID_INFO_CLASS for any class but the audit events;
// STATUS_OBJECT_NAME_NOT_FOUND when the image has no audit policy value; STATUS_UNKNOWN_REVISION
// when the value is in a layout we do not know (it is then never written);
// STATUS_INTERNAL_DB_CORRUPTION when the SECURITY hive itself is damaged.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/core/handles.h"
#include "platform/core/network.h"
#include "platform/core/win32.h"
#include "platform/lsa/audit_events.h"

typedef unsigned char BOOLEAN;
typedef unsigned short USHORT;
typedef WCHAR* PWSTR;
typedef void* PVOID;
typedef DWORD ACCESS_MASK;
typedef PVOID LSA_HANDLE;
typedef LSA_HANDLE* PLSA_HANDLE;

// NTSTATUS values of ntstatus.h that the LSA answers with or maps.
constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_SOME_NOT_MAPPED = 0x00000107;
constexpr NTSTATUS STATUS_MORE_ENTRIES = 0x00000105;
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005u);
constexpr NTSTATUS STATUS_NO_MORE_ENTRIES = static_cast<NTSTATUS>(0x8000001Au);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = static_cast<NTSTATUS>(0xC0000001u);
constexpr NTSTATUS STATUS_INVALID_INFO_CLASS = static_cast<NTSTATUS>(0xC0000003u);
constexpr NTSTATUS STATUS_INVALID_HANDLE = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS STATUS_NO_SUCH_FILE = static_cast<NTSTATUS>(0xC000000Fu);
constexpr NTSTATUS STATUS_END_OF_FILE = static_cast<NTSTATUS>(0xC0000011u);
constexpr NTSTATUS STATUS_NO_MEMORY = static_cast<NTSTATUS>(0xC0000017u);
constexpr NTSTATUS STATUS_ACCESS_DENIED = static_cast<NTSTATUS>(0xC0000022u);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023u);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC0000034u);
constexpr NTSTATUS STATUS_OBJECT_PATH_NOT_FOUND = static_cast<NTSTATUS>(0xC000003Au);
constexpr NTSTATUS STATUS_UNKNOWN_REVISION = static_cast<NTSTATUS>(0xC0000058u);
constexpr NTSTATUS STATUS_NO_SUCH_USER = static_cast<NTSTATUS>(0xC0000064u);
constexpr NTSTATUS STATUS_NONE_MAPPED = static_cast<NTSTATUS>(0xC0000073u);
constexpr NTSTATUS STATUS_DISK_FULL = static_cast<NTSTATUS>(0xC000007Fu);
constexpr NTSTATUS STATUS_RESOURCE_DATA_NOT_FOUND = static_cast<NTSTATUS>(0xC0000089u);
constexpr NTSTATUS STATUS_RESOURCE_TYPE_NOT_FOUND = static_cast<NTSTATUS>(0xC000008Au);
constexpr NTSTATUS STATUS_RESOURCE_NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC000008Bu);
constexpr NTSTATUS STATUS_BAD_NETWORK_PATH = static_cast<NTSTATUS>(0xC00000BEu);
constexpr NTSTATUS STATUS_BAD_NETWORK_NAME = static_cast<NTSTATUS>(0xC00000CCu);
constexpr NTSTATUS STATUS_INTERNAL_DB_CORRUPTION = static_cast<NTSTATUS>(0xC00000E4u);
constexpr NTSTATUS STATUS_MESSAGE_NOT_FOUND = static_cast<NTSTATUS>(0xC0000109u);
constexpr NTSTATUS STATUS_LOG_FILE_FULL = static_cast<NTSTATUS>(0xC0000188u);
constexpr NTSTATUS STATUS_EVENTLOG_FILE_CORRUPT = static_cast<NTSTATUS>(0xC000018Eu);
constexpr NTSTATUS STATUS_EVENTLOG_CANT_START = static_cast<NTSTATUS>(0xC000018Fu);
constexpr NTSTATUS STATUS_EVENTLOG_FILE_CHANGED = static_cast<NTSTATUS>(0xC0000197u);
constexpr NTSTATUS STATUS_RESOURCE_LANG_NOT_FOUND = static_cast<NTSTATUS>(0xC0000204u);
constexpr NTSTATUS RPC_NT_SERVER_UNAVAILABLE = static_cast<NTSTATUS>(0xC0020017u);
constexpr NTSTATUS RPC_NT_SERVER_TOO_BUSY = static_cast<NTSTATUS>(0xC0020018u);

// Win32 codes that only the LSA's statuses map to (winerror.h values).
enum : DWORD {
  ERROR_GEN_FAILURE = 31,
  ERROR_UNKNOWN_REVISION = 1305,
  ERROR_SOME_NOT_MAPPED = 1301,
  ERROR_INTERNAL_DB_CORRUPTION = 1358,
};

struct LSA_UNICODE_STRING {
  USHORT Length;         // bytes, without a terminator
  USHORT MaximumLength;  // bytes of Buffer
  PWSTR Buffer;
};
typedef LSA_UNICODE_STRING* PLSA_UNICODE_STRING;

struct LSA_OBJECT_ATTRIBUTES {
  DWORD Length;
  HANDLE RootDirectory;
  PLSA_UNICODE_STRING ObjectName;
  DWORD Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};
typedef LSA_OBJECT_ATTRIBUTES* PLSA_OBJECT_ATTRIBUTES;

// Access rights of a policy handle.
enum : ACCESS_MASK {
  POLICY_VIEW_LOCAL_INFORMATION = 0x0001,
  POLICY_VIEW_AUDIT_INFORMATION = 0x0002,
  POLICY_GET_PRIVATE_INFORMATION = 0x0004,
  POLICY_TRUST_ADMIN = 0x0008,
  POLICY_CREATE_ACCOUNT = 0x0010,
  POLICY_CREATE_SECRET = 0x0020,
  POLICY_CREATE_PRIVILEGE = 0x0040,
  POLICY_SET_DEFAULT_QUOTA_LIMITS = 0x0080,
  POLICY_SET_AUDIT_REQUIREMENTS = 0x0100,
  POLICY_AUDIT_LOG_ADMIN = 0x0200,
  POLICY_SERVER_ADMIN = 0x0400,
  POLICY_LOOKUP_NAMES = 0x0800,
  POLICY_ALL_ACCESS = 0x000F0FFF,
  MAXIMUM_ALLOWED = 0x02000000,
};

enum POLICY_INFORMATION_CLASS {
  PolicyAuditLogInformation = 1,
  PolicyAuditEventsInformation = 2,
  PolicyPrimaryDomainInformation = 3,
  PolicyPdAccountInformation = 4,
  PolicyAccountDomainInformation = 5,
  PolicyLsaServerRoleInformation = 6,
};

enum POLICY_AUDIT_EVENT_TYPE {
  AuditCategorySystem = 0,
  AuditCategoryLogon,
  AuditCategoryObjectAccess,
  AuditCategoryPrivilegeUse,
  AuditCategoryDetailedTracking,
  AuditCategoryPolicyChange,
  AuditCategoryAccountManagement,
  AuditCategoryDirectoryServiceAccess,
  AuditCategoryAccountLogon,
};

// Option mask bits. On a query 0 means "not audited"; on a set 0 leaves the category as it is.
enum : DWORD {
  POLICY_AUDIT_EVENT_UNCHANGED = 0,
  POLICY_AUDIT_EVENT_SUCCESS = 1,
  POLICY_AUDIT_EVENT_FAILURE = 2,
  POLICY_AUDIT_EVENT_NONE = 4,
};
typedef DWORD POLICY_AUDIT_EVENT_OPTIONS;
typedef POLICY_AUDIT_EVENT_OPTIONS* PPOLICY_AUDIT_EVENT_OPTIONS;

struct POLICY_AUDIT_EVENTS_INFO {
  BOOLEAN AuditingMode;
  PPOLICY_AUDIT_EVENT_OPTIONS EventAuditingOptions;  // MaximumAuditEventCount masks, by category
  DWORD MaximumAuditEventCount;
};
typedef POLICY_AUDIT_EVENTS_INFO* PPOLICY_AUDIT_EVENTS_INFO;

// SystemName null or of length 0: this computer (COMPUTERNAME). A leading "\\" is accepted.
// The handle carries `DesiredAccess`; the query needs POLICY_VIEW_AUDIT_INFORMATION, the set
// POLICY_SET_AUDIT_REQUIREMENTS (MAXIMUM_ALLOWED grants both). *PolicyHandle is left as it was
// on failure.
NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING SystemName, PLSA_OBJECT_ATTRIBUTES ObjectAttributes,
                       ACCESS_MASK DesiredAccess, PLSA_HANDLE PolicyHandle);
// PolicyAuditEventsInformation only: one buffer, released with LsaFreeMemory, holding the info
// and its options array (7 or 9 categories, as the computer's layout has).
NTSTATUS LsaQueryInformationPolicy(LSA_HANDLE PolicyHandle, POLICY_INFORMATION_CLASS InformationClass,
                                   PVOID* Buffer);
// PolicyAuditEventsInformation only; the set semantics of MergeAuditEvents. A count of 0, a
// missing options array or more categories than the computer has are STATUS_INVALID_PARAMETER.
// Written like every hive change: one locked read-modify-write, committed by rename; a set that
// changes nothing leaves the file as it is.
NTSTATUS LsaSetInformationPolicy(LSA_HANDLE PolicyHandle, POLICY_INFORMATION_CLASS InformationClass,
                                 PVOID Buffer);
// Null is accepted; a pointer the LSA did not hand out answers STATUS_INVALID_PARAMETER.
NTSTATUS LsaFreeMemory(PVOID Buffer);
NTSTATUS LsaClose(LSA_HANDLE ObjectHandle);
// 0 stays 0; values with the customer bit pass unchanged; 0xD... is read as 0xC...; the statuses
// above map to their Win32 codes; anything else is ERROR_MR_MID_NOT_FOUND.
DWORD LsaNtStatusToWinError(NTSTATUS Status);

namespace platform {

// ---- The audit policy of an image, for tools: no host.ini faults, no handle rights ----

// The computer's audit policy value, decoded. `why` says, for a person, why it could not be.
NTSTATUS ReadImageAuditEvents(const ComputerImage& computer, AuditEventsValue& out, std::string* why = nullptr);
// One locked read-modify-write of the value: `change` gets the decoded value (or, when
// `createMissing` and there is none, an empty one that `change` must lay out) and answers 0 to
// have it written, or a status that leaves the hive untouched.
NTSTATUS ChangeImageAuditEvents(const ComputerImage& computer, bool createMissing,
                                const std::function<NTSTATUS(AuditEventsValue&)>& change, std::string* why = nullptr);

namespace testing {
// Buffers handed out by LsaQueryInformationPolicy and not yet freed.
size_t LiveLsaBufferCount();
}  // namespace testing

}  // namespace platform

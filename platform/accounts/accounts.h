// Account names of SIDs as the Local Security Authority of a computer answers them: the
// well-known SIDs, the computer's own accounts (its SAM hive), the BUILTIN aliases, and the
// accounts of its domain through the image of the domain's primary controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/win32.h"

typedef void* PSID;

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};
typedef SID_NAME_USE* PSID_NAME_USE;

enum : DWORD { ERROR_INVALID_SID = 1337 };

// Success: both names and their lengths without the NUL. A buffer too small for either text
// and its NUL: ERROR_INSUFFICIENT_BUFFER with the sizes needed (NUL included). An unknown SID:
// ERROR_NONE_MAPPED. A malformed SID: ERROR_INVALID_SID. A computer that is absent or switched
// off: RPC_S_SERVER_UNAVAILABLE. Null or "" names the local computer.
BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD cchName, LPSTR referencedDomainName,
                       LPDWORD cchReferencedDomainName, PSID_NAME_USE use);

namespace platform {

// The length of a well-formed binary SID that starts at `sid` within `available` bytes
// (revision 1, at most 15 sub-authorities), or 0.
std::size_t SidLength(const void* sid, std::size_t available);

// "S-1-5-21-..." of a well-formed SID.
std::string SidText(const void* sid);

// A binary SID from its parts (tools and tests).
std::vector<uint8_t> MakeSid(uint64_t authority, const std::vector<DWORD>& subAuthorities);

}  // namespace platform

// Account names of SIDs as the Local Security Authority of a computer answers them: the
// well-known SIDs, the computer's own accounts (its SAM hive), the BUILTIN aliases, and the
// accounts of its domain through the image of the domain's primary controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/sid.h"
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

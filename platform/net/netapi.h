// Network management (netapi32): the browse list and the information of one server, served from
// the network folder and each computer's host.ini.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/network.h"
#include "platform/core/win32.h"

typedef DWORD NET_API_STATUS;
typedef LPWSTR LMSTR;
typedef LPCWSTR LMCSTR;

enum : DWORD {
  NERR_Success = 0,
  ERROR_NO_BROWSER_SERVERS_FOUND = 6118,
  MAX_PREFERRED_LENGTH = 0xFFFFFFFF,
  PLATFORM_ID_NT = 500,
  MAJOR_VERSION_MASK = 0x0F,
};

// sv101_type flags.
enum : DWORD {
  SV_TYPE_WORKSTATION = 0x00000001,
  SV_TYPE_SERVER = 0x00000002,
  SV_TYPE_DOMAIN_CTRL = 0x00000008,
  SV_TYPE_DOMAIN_BAKCTRL = 0x00000010,
  SV_TYPE_TIME_SOURCE = 0x00000020,
  SV_TYPE_DOMAIN_MEMBER = 0x00000100,
  SV_TYPE_PRINTQ_SERVER = 0x00000200,
  SV_TYPE_NT = 0x00001000,
  SV_TYPE_SERVER_NT = 0x00008000,
  SV_TYPE_POTENTIAL_BROWSER = 0x00010000,
  SV_TYPE_BACKUP_BROWSER = 0x00020000,
  SV_TYPE_MASTER_BROWSER = 0x00040000,
  SV_TYPE_DOMAIN_MASTER = 0x00080000,
  SV_TYPE_DOMAIN_ENUM = 0x80000000,
  SV_TYPE_ALL = 0xFFFFFFFF,
};

// The wide structure as Windows lays it out. In a buffer from NetServerEnum or NetServerGetInfo
// the strings live in the same allocation, after the array of structures.
struct SERVER_INFO_101 {
  DWORD sv101_platform_id;
  LMSTR sv101_name;
  DWORD sv101_version_major;
  DWORD sv101_version_minor;
  DWORD sv101_type;
  LMSTR sv101_comment;
};
typedef SERVER_INFO_101* PSERVER_INFO_101;
typedef SERVER_INFO_101* LPSERVER_INFO_101;

// Level 101 only (124 otherwise). The browse list of `servername`'s computer (null: this
// computer) for `domain` (null: that computer's own domain): the computers that are switched on
// and whose type flags share a bit with `servertype`, in name order. When the whole answer does
// not fit `prefmaxlen` bytes the buffer holds the entries that do, *totalentries says how many
// there are, and the answer is ERROR_MORE_DATA. On 0 and 234 *bufptr is a buffer to free with
// NetApiBufferFree; on any other answer it is null. The resume handle is reserved: it is
// ignored, and set to 0 when given.
NET_API_STATUS NetServerEnum(LMCSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                             LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                             LMCSTR domain, LPDWORD resume_handle);

// Level 101 of one computer ("\\NAME" or "NAME"; null: this computer). 53 when the computer is
// absent or switched off. host.ini's `busy = N` answers RPC_S_SERVER_TOO_BUSY to the first N
// calls that each thread makes to that computer; the count belongs to the calling thread of
// this process (a new thread, or another process, starts again from its first call).
NET_API_STATUS NetServerGetInfo(LMSTR servername, DWORD level, LPBYTE* bufptr);

// Frees a buffer of the two calls above. Null is accepted; anything else that is not a live
// buffer of theirs answers ERROR_INVALID_PARAMETER and is left alone.
NET_API_STATUS NetApiBufferFree(LPVOID buffer);

namespace platform {

// One browse entry before it is packed into a buffer.
struct ServerEntry {
  std::string name;
  DWORD versionMajor = 0;
  DWORD versionMinor = 0;
  DWORD type = 0;
  std::string comment;
};

// Type flags of a computer: host.ini's `type` when it has one, else its role's (an unknown
// role counts as a workstation, host.ini's default role).
DWORD BrowseTypeOf(const HostInfo& host);

// "major.minor" (decimal or 0x hexadecimal parts); whatever cannot be read is 0.
void ParseBrowseVersion(std::string_view text, DWORD& major, DWORD& minor);

ServerEntry ServerEntryOf(const std::string& name, const HostInfo& host);

// Bytes one entry takes in a level-101 buffer: the structure and its two terminated UTF-16
// strings.
size_t ServerInfo101Bytes(const ServerEntry& entry);

// UTF-16 names and comments as UTF-8 ("%S" of the 8-bit printf): a unit that is no character
// becomes U+FFFD; at most `maxUnits` units are read from `wide`. (The other way: platform/core/text.h.)
std::string NetUtf8FromWide(LPCWSTR wide, size_t maxUnits);

// Packs entries into one buffer: the array first, then the strings it points at. The buffer is
// live for NetApiBufferFree; `bytes` receives its size.
LPBYTE PackServerInfo101(const std::vector<ServerEntry>& entries, size_t* bytes = nullptr);

}  // namespace platform

namespace platform::testing {
// Buffers handed out by the network calls and not yet freed.
size_t LiveNetBufferCount();
}  // namespace platform::testing

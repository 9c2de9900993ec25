// The registry of a computer, as Windows' advapi32 serves it, from the computer's hive files.
// HKEY_LOCAL_MACHINE of a computer is its SYSTEM, SOFTWARE, SECURITY and SAM hives at
// %SystemRoot%\System32\config; "SYSTEM\CurrentControlSet" is the control set that
// SYSTEM\Select\Current names. Names match without regard to case. Strings are UTF-16LE in the
// hive and UTF-8 through the A calls (multi-strings too).
//
// Answers, as Windows gives them: 0; 2 a missing key or value; 5 access denied (a computer whose
// host.ini says deny = registry, a handle opened without the right, a hive file we may not
// write); 6 a stale or closed handle; 53 a computer that is not in the network folder or is
// switched off; 87 a bad parameter or a key name over 255 characters; 234 a buffer too small;
// 259 the end of an enumeration; 1009 a hive file that is no hive; 1015 a hive whose structure
// is broken; 1018 a key deleted while open. Host.ini may also say deny = registry-set: reading
// works, every change answers 5 (a key the user may read but not write).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/handles.h"
#include "platform/registry/hive_file.h"
#include "platform/core/network.h"
#include "platform/core/win32.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
struct _FILETIME;  // written as 8 raw bytes, so no layout of it is needed here
typedef _FILETIME* PFILETIME;

// The predefined key of the local computer; also the hKey RegConnectRegistryA accepts.
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

enum : DWORD {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_MULTI_SZ = 7,
};

enum : REGSAM {
  KEY_QUERY_VALUE = 0x0001,
  KEY_SET_VALUE = 0x0002,
  KEY_CREATE_SUB_KEY = 0x0004,
  KEY_ENUMERATE_SUB_KEYS = 0x0008,
  KEY_NOTIFY = 0x0010,
  KEY_CREATE_LINK = 0x0020,
  KEY_READ = 0x20019,
  KEY_WRITE = 0x20006,
  KEY_ALL_ACCESS = 0xF003F,
};

enum : DWORD { REG_OPTION_NON_VOLATILE = 0, REG_CREATED_NEW_KEY = 1, REG_OPENED_EXISTING_KEY = 2 };

// Name null or "": this computer (COMPUTERNAME); otherwise that computer's image ("\\" optional).
// Only HKEY_LOCAL_MACHINE can be connected (else 87).
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
// A trailing backslash is accepted, as Windows does; a null or empty subkey opens the key again.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Creates the missing keys of the path (the hive itself must exist: keys directly under
// HKEY_LOCAL_MACHINE cannot be made, 5). Tools only: the programs never create keys.
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
// 0 with the name and its length (without the NUL) in *lpcchName; 234 when the name and its NUL
// do not fit *lpcchName characters (the buffer then holds the name cut to fit, never in the
// middle of a character, and *lpcchName is left as it was); 259 past the last subkey.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
// Values in stored order; name and data as RegEnumKeyExA and RegQueryValueExA give them.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// lpData null: the type and the size the data needs. A buffer too small: 234, the needed size
// in *lpcbData and the buffer untouched. Strings arrive as UTF-8 with their NUL.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a key that has no subkeys (5 otherwise), as Windows NT does.
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG RegCloseKey(HKEY hKey);

namespace platform {

// ---- The hives of a computer image, for other platform services ----
//
// The event log, account (SAM) and LSA services read and change a computer's hives without the
// registry's own access rules (host.ini's "registry" denial is the remote registry's, not
// theirs: each service checks its own). Key paths start with the hive's name and may use
// CurrentControlSet: "SECURITY\Policy\PolAdtEv", "SYSTEM\CurrentControlSet\Services\EventLog".
// Value name "" is the key's default value. Errors as above (2 for a missing hive file, key or
// value).

// The four hives of HKEY_LOCAL_MACHINE, in the order the root enumerates them.
const std::vector<std::string>& MachineHiveNames();

// The native file of a named hive ("system", any case) of the image; `forCreate` allows a file
// that does not exist yet (its folder must).
DWORD ImageHiveFile(const ComputerImage& computer, std::string_view hiveName, std::string& native,
                    bool forCreate = false);

// Splits "HIVE\a\b\" into the hive's name and the key names below it (CurrentControlSet not yet
// mapped). A trailing backslash is dropped; an empty name elsewhere is ERROR_BAD_PATHNAME.
DWORD SplitKeyPath(std::string_view keyPath, std::vector<std::string>& names);

// Maps "CurrentControlSet" (first name below SYSTEM) to the ControlSetNNN of Select\Current.
DWORD MapControlSet(const Hive& systemHive, std::vector<std::string>& belowHive);

DWORD ReadImageValue(const ComputerImage& computer, std::string_view keyPath, std::string_view valueName,
                     RegistryValue& out);
DWORD ListImageSubkeys(const ComputerImage& computer, std::string_view keyPath, std::vector<std::string>& names);
DWORD ListImageValues(const ComputerImage& computer, std::string_view keyPath,
                      std::vector<std::pair<std::string, RegistryValue>>& values);

// One locked read-modify-write of the hive that keyPath names: `change` gets the hive and the
// key's node (created with its missing parents when `create`), and its answer decides whether
// the change is committed.
DWORD ChangeImageKey(const ComputerImage& computer, std::string_view keyPath, bool create,
                     const std::function<DWORD(Hive&, HiveNode)>& change);
DWORD WriteImageValue(const ComputerImage& computer, std::string_view keyPath, std::string_view valueName,
                      const RegistryValue& value, bool createKey = false);

// String values in the hive's encoding: REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ data from UTF-8
// text (a NUL is added when missing), and back (cut at the first NUL for the single strings).
RegistryValue StringValue(DWORD type, std::string_view utf8);
RegistryValue DwordValue(DWORD value);
std::string ValueText(const RegistryValue& value);

// Whether users other than its owner may read the local computer's hive that holds `keyPath`
// ("SOFTWARE\..."): its file lets the group or everyone read it, and every folder above it
// lets them through. The hive's native path goes to `file`. 0, or the code of what is missing.
DWORD LocalHiveReadableByOthers(std::string_view keyPath, bool& readable, std::string& file);

}  // namespace platform

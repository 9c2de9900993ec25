// The Windows types, constants and error state that the programs' code is written against.
// The typedefs match unixODBC's sqltypes.h exactly, so both headers can meet in one file.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned int DWORD;
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef char CHAR;
typedef int LONG;
typedef long long LONGLONG;
typedef unsigned int UINT;
typedef unsigned long long ULONGLONG;
typedef void* HWND;
typedef void* HINSTANCE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* LPVOID;
typedef unsigned short WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef LONG NTSTATUS;
#ifndef BOOL
typedef int BOOL;  // sql.h makes BOOL a macro for int; either way it is int
#endif
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Win32 error codes the platform answers with (winerror.h values).
enum : DWORD {
  ERROR_SUCCESS = 0,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_BAD_FORMAT = 11,
  ERROR_INVALID_DATA = 13,
  ERROR_OUTOFMEMORY = 14,
  ERROR_WRITE_FAULT = 29,
  ERROR_READ_FAULT = 30,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_HANDLE_EOF = 38,
  ERROR_NOT_SUPPORTED = 50,
  ERROR_BAD_NETPATH = 53,
  ERROR_BAD_NET_NAME = 67,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_DISK_FULL = 112,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_INVALID_NAME = 123,
  ERROR_INVALID_LEVEL = 124,
  ERROR_BAD_PATHNAME = 161,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_FILENAME_EXCED_RANGE = 206,
  ERROR_MORE_DATA = 234,
  ERROR_NO_WORK_DONE = 235,
  WAIT_TIMEOUT_CODE = 258,
  ERROR_NO_MORE_ITEMS = 259,
  ERROR_MR_MID_NOT_FOUND = 317,
  ERROR_INVALID_FLAGS = 1004,
  ERROR_BADDB = 1009,
  ERROR_BADKEY = 1010,
  ERROR_CANTOPEN = 1011,
  ERROR_CANTREAD = 1012,
  ERROR_CANTWRITE = 1013,
  ERROR_REGISTRY_CORRUPT = 1015,
  ERROR_REGISTRY_IO_FAILED = 1016,
  ERROR_KEY_DELETED = 1018,
  ERROR_NONE_MAPPED = 1332,
  ERROR_NO_SUCH_USER = 1317,
  ERROR_EVENTLOG_FILE_CORRUPT = 1500,
  ERROR_EVENTLOG_CANT_START = 1501,
  ERROR_LOG_FILE_FULL = 1502,
  ERROR_EVENTLOG_FILE_CHANGED = 1503,
  ERROR_RESOURCE_DATA_NOT_FOUND = 1812,
  ERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
  ERROR_RESOURCE_NAME_NOT_FOUND = 1814,
  ERROR_RESOURCE_LANG_NOT_FOUND = 1815,
  RPC_S_SERVER_UNAVAILABLE = 1722,
  RPC_S_SERVER_TOO_BUSY = 1723,
  RPC_S_CALL_FAILED = 1726,
};

// The calling thread's last error, as kernel32 keeps it.
DWORD GetLastError();
void SetLastError(DWORD code);

// One place turns an errno from a file operation into the Win32 code Windows would give.
DWORD Win32FromErrno(int err);

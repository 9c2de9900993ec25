#include <cerrno>

#include "platform/core/win32.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD Win32FromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;  // as Windows answers opening a folder as a file
    case EBUSY: return ERROR_SHARING_VIOLATION;  // as Windows answers for a file another process holds
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ELOOP: return ERROR_BAD_PATHNAME;
    case EXDEV: return ERROR_ACCESS_DENIED;  // a path that would leave a computer image
    case ENOSPC: return ERROR_DISK_FULL;
    case EIO: return ERROR_READ_FAULT;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// Replacing a whole file so that a reader, or the file system after a crash, finds the old file
// or the new one, never a mix and never an empty file: the new bytes go to a temporary beside
// the target, are synced, the temporary is renamed over the target, and the folder is synced.
// On any failure the temporary is removed and the target stays as it was. Every file the
// platform, the frame and the tools replace goes through here.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/core/win32.h"

namespace platform {

// Why a replacement failed: the system's errno, and whether it came while the new bytes were
// written (writing, syncing or closing the temporary) rather than while the temporary was made
// or renamed. error 0: the file was replaced.
struct ReplaceError {
  int error = 0;
  bool writing = false;
  explicit operator bool() const { return error != 0; }
};

// The Win32 code for a failure: a failed write is ERROR_WRITE_FAULT (ERROR_DISK_FULL when the
// disk or the quota is full); the rest as Win32FromErrno.
DWORD Win32FromReplaceError(const ReplaceError& e);

// The mode a new file gets when no mode is given: 0666 less the process's umask, as open() makes
// a file. (Reading the umask would change it for every thread for a moment.)
inline constexpr mode_t kModeFromUmask = static_cast<mode_t>(-1);

// Writes the new content through `fd` (open for reading and writing, at offset 0, empty).
// Answers 0 or an errno; whatever it answers is handed back as the failure.
using FileFiller = std::function<int(int fd)>;

// Replaces `name` in the folder open as `folderFd`; `name` is one entry of that folder (no
// slash). The temporary is made through the same descriptor, under a fresh name (never a link
// someone planted there) with the final mode from its first byte: the target's mode and owner
// when the target is a regular file, else `newFileMode`. A link standing at `name` is replaced,
// never followed.
ReplaceError ReplaceFileAt(int folderFd, std::string_view name, const FileFiller& fill,
                           mode_t newFileMode = kModeFromUmask);
ReplaceError ReplaceFileAt(int folderFd, std::string_view name, std::string_view bytes,
                           mode_t newFileMode = kModeFromUmask);

// The same by path: the folder is the path's folder, opened for the call (beneath its drive
// folder when the path lies in a computer image).
ReplaceError ReplaceFile(const std::string& path, const FileFiller& fill, mode_t newFileMode = kModeFromUmask);
ReplaceError ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode = kModeFromUmask);

// Writes all `length` bytes at the descriptor's offset, through short writes and signals:
// 0 or the errno of the write that failed.
int WriteAll(int fd, const void* bytes, size_t length);

}  // namespace platform

// Opening a file that must be a regular one without ever waiting: a FIFO or a device planted in
// an image (or named on a command line) under a file's name would hold a plain open, or the
// read after it, for ever. Every reader of outside files opens them here.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace platform {

// errno when the name is there but is no regular file (a folder, FIFO, device or socket).
inline constexpr int kNotRegularFile = ENODEV;

// Opens `name` relative to the folder open as `folderFd` (or AT_FDCWD), with `flags` (O_RDONLY,
// O_RDWR, O_CREAT with `createMode`, O_NOFOLLOW...) and O_CLOEXEC. The descriptor blocks as
// usual once it is known to be a regular file. -1 with errno (kNotRegularFile among them).
int OpenRegularFileAt(int folderFd, const char* name, int flags, mode_t createMode = 0);
// The same for a native path; one inside a computer image is opened beneath its drive folder
// (platform/core/beneath.h).
int OpenRegularFile(const std::string& path, int flags, mode_t createMode = 0);

// Reads an open file from its current offset to its end, at most `limit` bytes: 0, EFBIG when
// there is more, or the errno of the read that failed. `out` holds what was read.
int ReadToEnd(int fd, size_t limit, std::string& out);

// OpenRegularFile and ReadToEnd in one: 0 or the errno of the step that failed.
int ReadRegularFile(const std::string& path, size_t limit, std::string& out);

}  // namespace platform

// Opening the files of a computer image so that nothing the image holds can lead outside it.
// An image may change while we work (a share that others write), so a path inside it is never
// checked first and opened later by name: it is resolved and opened in one step from the drive
// folder's descriptor, and no link or ".." on the way may leave that folder at any moment.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Opens `below` (relative; "" is the folder itself) beneath the folder open as `rootFd`, with
// `flags` (O_CLOEXEC is added) and `mode` for a file it creates. Links are followed only while
// they stay beneath; an absolute link, a ".." above the folder or a /proc magic link answers -1
// with errno EXDEV (ELOOP for too many links). O_NOFOLLOW refuses a link as the last step.
int OpenBeneath(int rootFd, std::string_view below, int flags, mode_t mode = 0);

// The drive folder of a native path that lies in a computer image
// ("<network>/<computer>/<letter>/..."), and the rest of the path below it ("" for the folder
// itself). False for a path outside every image.
bool SplitImagePath(std::string_view native, std::string& drive, std::string& below);

// Opens a native path: beneath its drive folder when it lies in an image (the drive folder
// itself may be a link: a mounted disk joins the network that way), else as any path is.
int OpenNative(const std::string& native, int flags, mode_t mode = 0);

// Opens the folder that holds `native` the same way (O_DIRECTORY) and gives the last name.
// -1 with EINVAL for a path that names no entry ("", "/", one ending in "..").
int OpenNativeFolder(const std::string& native, std::string& name);

// The status of what `native` names, reached as OpenNative reaches it (links followed only
// while they stay beneath). 0 or an errno.
int StatNative(const std::string& native, struct stat& st);

// Makes the folder `native` names (its parent must exist): 0, or an errno (EEXIST among them).
int MakeNativeFolder(const std::string& native, mode_t mode);

namespace testing {
// Uses the walk that serves kernels without openat2, so tests can hold both to the same rules.
void ForceBeneathWalk(bool on);
// The bytes of path that OpenBeneath was given so far: what a walk costs, counted, not timed.
uint64_t BeneathBytesResolved();
}  // namespace testing

}  // namespace platform

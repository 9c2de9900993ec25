#include "platform/core/file_replace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/core/beneath.h"

namespace platform {
namespace {

// NAME_MAX leaves room for the temporary's decorations when the target's name is cut to this.
constexpr size_t kKeptNameLength = 200;

// A fresh name beside the target: "<name>.tmp-XXXXXXXX".
std::string TemporaryName(std::string_view name) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  // Without entropy the name is only easier to guess: O_EXCL still refuses one that is taken.
  static std::atomic<uint64_t> counter{0};
  uint64_t random = 0;
  if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
    random = (static_cast<uint64_t>(::getpid()) << 32) + ++counter;
  std::string out = std::string(name.substr(0, kKeptNameLength)) + ".tmp-";
  for (int i = 0; i < 8; ++i, random >>= 8) out.push_back(kDigits[(random & 0xFF) % (sizeof kDigits - 1)]);
  return out;
}

// Makes the temporary under a fresh name with no wider mode than `mode` at any moment.
int CreateTemporary(int folderFd, std::string_view name, mode_t mode, std::string& tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = TemporaryName(name);
    int fd = ::openat(folderFd, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

DWORD Win32FromReplaceError(const ReplaceError& e) {
  if (!e.writing) return Win32FromErrno(e.error);
  return e.error == ENOSPC || e.error == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

int WriteAll(int fd, const void* bytes, size_t length) {
  const auto* p = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = ::write(fd, p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

ReplaceError ReplaceFileAt(int folderFd, std::string_view name, const FileFiller& fill, mode_t newFileMode) {
  if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
    return {EINVAL, false};
  const std::string target(name);
  struct stat old;
  const bool replacing = ::fstatat(folderFd, target.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  const bool fromUmask = !replacing && newFileMode == kModeFromUmask;
  const mode_t mode = replacing ? old.st_mode & 07777 : fromUmask ? 0666 : newFileMode & 07777;

  std::string tmp;
  int fd = CreateTemporary(folderFd, name, mode, tmp);
  if (fd < 0) return {errno, false};
  ReplaceError result;
  auto fail = [&](int error, bool writing) {
    if (!result) result = {error, writing};
  };
  struct stat made;
  if (replacing && ::fstat(fd, &made) == 0 && (made.st_uid != old.st_uid || made.st_gid != old.st_gid)) {
    // Root replacing another user's file keeps it theirs. Anyone else may at most give it the
    // old group; failing that the new file is ours, as any file we make.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) errno = 0;
  }
  // The umask may have narrowed the mode at creation; the file is still empty here.
  if (!fromUmask && ::fchmod(fd, mode) != 0) fail(errno, false);
  if (!result) {
    if (int e = fill(fd)) fail(e, true);
  }
  if (!result && ::fsync(fd) != 0) fail(errno, true);
  // A full disk or a network file system may report a lost write only when the file is closed.
  if (::close(fd) != 0) fail(errno, true);
  if (!result && ::renameat(folderFd, tmp.c_str(), folderFd, target.c_str()) != 0) fail(errno, false);
  if (result) {
    ::unlinkat(folderFd, tmp.c_str(), 0);
    return result;
  }
  // The new name is durable only once the folder is synced. The file is replaced whatever this
  // answers, so a failure here is not reported as a failed replacement.
  ::fsync(folderFd);
  return {};
}

ReplaceError ReplaceFileAt(int folderFd, std::string_view name, std::string_view bytes, mode_t newFileMode) {
  return ReplaceFileAt(
      folderFd, name, [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, newFileMode);
}

ReplaceError ReplaceFile(const std::string& path, const FileFiller& fill, mode_t newFileMode) {
  // The folder is opened as every path is (beneath its drive folder inside an image), so the
  // temporary and the rename happen in the folder that was checked, whatever links change.
  std::string name;
  int folderFd = OpenNativeFolder(path, name);
  if (folderFd < 0) return {errno, false};
  ReplaceError result = ReplaceFileAt(folderFd, name, fill, newFileMode);
  ::close(folderFd);
  return result;
}

ReplaceError ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode) {
  return ReplaceFile(
      path, [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, newFileMode);
}

}  // namespace platform

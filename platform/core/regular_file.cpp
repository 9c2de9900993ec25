#include "platform/core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/core/beneath.h"

namespace platform {

namespace {

// Keeps `fd` only when it is a regular file, and lets it block from now on.
int KeepRegular(int fd) {
  if (fd < 0) return -1;
  struct stat st;
  int e = 0;
  if (::fstat(fd, &st) != 0) e = errno;
  else if (!S_ISREG(st.st_mode)) e = kNotRegularFile;
  else if (int fl = ::fcntl(fd, F_GETFL); fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) e = errno;
  if (e == 0) return fd;
  ::close(fd);
  errno = e;
  return -1;
}

}  // namespace

int OpenRegularFileAt(int folderFd, const char* name, int flags, mode_t createMode) {
  return KeepRegular(::openat(folderFd, name, flags | O_NONBLOCK | O_CLOEXEC, createMode));
}

int OpenRegularFile(const std::string& path, int flags, mode_t createMode) {
  return KeepRegular(OpenNative(path, flags | O_NONBLOCK, createMode));
}

int ReadToEnd(int fd, size_t limit, std::string& out) {
  out.clear();
  struct stat st;
  // The size is a hint only: the file may grow or shrink while it is read.
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(std::min<size_t>(static_cast<size_t>(st.st_size), limit));
  char buf[65536];
  for (;;) {
    // One byte past the limit tells a file of exactly `limit` bytes from a longer one.
    const size_t room = limit - out.size();
    const size_t want = room < sizeof buf ? room + 1 : sizeof buf;
    ssize_t n = ::read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (static_cast<size_t>(n) > limit - out.size()) return EFBIG;
    out.append(buf, static_cast<size_t>(n));
  }
}

int ReadRegularFile(const std::string& path, size_t limit, std::string& out) {
  out.clear();
  int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return errno;
  int rc = ReadToEnd(fd, limit, out);
  ::close(fd);
  return rc;
}

}  // namespace platform

#include "platform/core/beneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

#include "platform/core/network.h"

namespace platform {
namespace {

// openat2 came with Linux 5.6; until a call answers ENOSYS it is taken to be there.
std::atomic<bool> haveOpenat2{true};
std::atomic<bool> forceWalk{false};
std::atomic<uint64_t> resolvedBytes{0};

// The kernel's own limit on links followed in one resolution.
constexpr int kMaxLinks = 40;

std::deque<std::string> Components(std::string_view path) {
  std::deque<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string_view::npos) j = path.size();
    if (j > i) parts.emplace_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

// The target of the link `name` in `folderFd`; false (errno set) when it is no link.
bool ReadLink(int folderFd, const std::string& name, std::string& target) {
  char buf[PATH_MAX];
  ssize_t n = ::readlinkat(folderFd, name.c_str(), buf, sizeof buf);
  if (n < 0) return false;
  if (static_cast<size_t>(n) >= sizeof buf) {
    errno = ENAMETOOLONG;
    return false;
  }
  target.assign(buf, static_cast<size_t>(n));
  return true;
}

// The same rules as openat2's RESOLVE_BENEATH, one component at a time: every step is opened
// with O_NOFOLLOW from the folder before it, and a link met on the way is read and its target
// walked from the link's own folder, so no name is ever looked up twice.
int WalkBeneath(int rootFd, std::string_view below, int flags, mode_t mode) {
  std::deque<std::string> todo = Components(below);
  std::vector<int> stack;  // folders opened below the root
  int links = 0;
  auto top = [&] { return stack.empty() ? rootFd : stack.back(); };
  auto finish = [&](int fd, int error) {
    for (int f : stack) ::close(f);
    if (fd < 0) errno = error;
    return fd;
  };
  if (todo.empty()) todo.emplace_back(".");
  while (!todo.empty()) {
    std::string part = std::move(todo.front());
    todo.pop_front();
    const bool last = todo.empty();
    if (part == "..") {
      if (stack.empty()) return finish(-1, EXDEV);
      ::close(stack.back());
      stack.pop_back();
      if (last) todo.emplace_back(".");
      continue;
    }
    if (part == "." && !last) continue;
    int fd = last ? ::openat(top(), part.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode)
                  : ::openat(top(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    // O_PATH with O_NOFOLLOW opens a link itself rather than refusing it.
    if (fd >= 0 && last && (flags & O_PATH) && !(flags & O_NOFOLLOW)) {
      struct stat st;
      if (::fstat(fd, &st) == 0 && S_ISLNK(st.st_mode)) {
        ::close(fd);
        fd = -1;
        error = ELOOP;
      }
    }
    if (fd >= 0) {
      if (last) return finish(fd, 0);
      stack.push_back(fd);
      continue;
    }
    std::string target;
    if ((error != ELOOP && error != ENOTDIR) || !ReadLink(top(), part, target))
      return finish(-1, error);
    if (last && (flags & O_NOFOLLOW)) return finish(-1, error);
    if (++links > kMaxLinks) return finish(-1, ELOOP);
    if (!target.empty() && target[0] == '/') return finish(-1, EXDEV);
    std::deque<std::string> more = Components(target);
    if (more.empty()) return finish(-1, ENOENT);
    todo.insert(todo.begin(), more.begin(), more.end());
  }
  return finish(-1, ENOENT);  // not reached: the last step returns
}

}  // namespace

int OpenBeneath(int rootFd, std::string_view below, int flags, mode_t mode) {
  resolvedBytes.fetch_add(below.size(), std::memory_order_relaxed);
  if (below.find('\0') != std::string_view::npos) {
    errno = EINVAL;
    return -1;
  }
  if (haveOpenat2.load(std::memory_order_relaxed) && !forceWalk.load(std::memory_order_relaxed)) {
    const std::string path = below.empty() ? std::string(".") : std::string(below);
    struct open_how how = {};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (int attempt = 0; attempt < 16; ++attempt) {
      long fd = ::syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
      // EAGAIN: a rename elsewhere raced the lookup, and the kernel will not vouch for it.
      if (fd >= 0 || errno != EAGAIN) {
        if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
        haveOpenat2.store(false);
        break;
      }
    }
    if (haveOpenat2.load()) return -1;
  }
  return WalkBeneath(rootFd, below, flags, mode);
}

bool SplitImagePath(std::string_view native, std::string& drive, std::string& below) {
  std::string network = NetworkFolder();
  while (network.size() > 1 && network.back() == '/') network.pop_back();
  if (native.size() <= network.size() || native.compare(0, network.size(), network) != 0 ||
      (native[network.size()] != '/' && network != "/"))
    return false;
  std::string_view rest = native.substr(network.size());
  // <computer>/<drive letter>/<below>
  std::string_view names[2];
  for (auto& n : names) {
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    size_t end = rest.find('/');
    n = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  if (names[0].empty() || names[0] == "." || names[0] == ".." || names[1].size() != 1 ||
      !std::isalpha(static_cast<unsigned char>(names[1][0])))
    return false;
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  drive = network + "/" + std::string(names[0]) + "/" + std::string(names[1]);
  below.assign(rest);
  return true;
}

int OpenNative(const std::string& native, int flags, mode_t mode) {
  std::string drive, below;
  if (!SplitImagePath(native, drive, below)) return ::openat(AT_FDCWD, native.c_str(), flags | O_CLOEXEC, mode);
  int root = ::open(drive.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return -1;
  int fd = OpenBeneath(root, below, flags, mode);
  int error = errno;
  ::close(root);
  errno = error;
  return fd;
}

int OpenNativeFolder(const std::string& native, std::string& name) {
  size_t end = native.size();
  while (end > 1 && native[end - 1] == '/') --end;
  const size_t slash = native.find_last_of('/', end - (end > 0 ? 1 : 0));
  const size_t begin = slash == std::string::npos ? 0 : slash + 1;
  name = native.substr(begin, end - begin);
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    errno = EINVAL;
    return -1;
  }
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
  return OpenNative(folder, O_RDONLY | O_DIRECTORY);
}

int StatNative(const std::string& native, struct stat& st) {
  int fd = OpenNative(native, O_PATH);
  if (fd < 0) return errno;
  int rc = ::fstat(fd, &st) == 0 ? 0 : errno;
  ::close(fd);
  return rc;
}

int MakeNativeFolder(const std::string& native, mode_t mode) {
  std::string name;
  int folder = OpenNativeFolder(native, name);
  if (folder < 0) return errno;
  int rc = ::mkdirat(folder, name.c_str(), mode) == 0 ? 0 : errno;
  ::close(folder);
  return rc;
}

namespace testing {
void ForceBeneathWalk(bool on) { forceWalk.store(on); }
uint64_t BeneathBytesResolved() { return resolvedBytes.load(); }
}  // namespace testing

}  // namespace platform

#include "platform/core/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/core/beneath.h"

namespace platform {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> SplitComponents(std::string_view p) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : p) {
    if (IsSep(c)) {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

// The entry of the computer folder `dir` whose name equals `name` without regard to case; exact
// matches win. The computer folder is the network's, not the image's: it is read by name.
bool FindDriveFolder(const std::string& dir, const std::string& name, std::string& found) {
  struct stat st;
  if (::lstat((dir + "/" + name).c_str(), &st) == 0) {
    found = name;
    return true;
  }
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  std::vector<std::string> matches;
  while (dirent* e = ::readdir(d)) {
    std::string entry = e->d_name;
    if (entry != "." && entry != ".." && EqualsNoCase(entry, name)) matches.push_back(entry);
  }
  ::closedir(d);
  if (matches.empty()) return false;
  std::sort(matches.begin(), matches.end());
  found = matches.front();
  return true;
}

std::string JoinBelow(const std::vector<std::string>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i) out += '/';
    out += parts[i];
  }
  return out;
}

// 0 when `below` leads to something beneath the drive folder now, else the errno (EXDEV for a
// way out).
int Probe(int driveFd, const std::string& below, int flags = O_PATH) {
  int fd = OpenBeneath(driveFd, below, flags);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

// The entry of the folder open as `folderFd` whose name equals `name` without regard to case:
// exact matches win, then the first of the others in byte order. 0 or an errno.
int FindNoCase(int folderFd, const std::string& name, std::string& found) {
  struct stat st;
  if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    found = name;
    return 0;
  }
  if (errno != ENOENT) return errno;
  int dirFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return errno;
  DIR* d = ::fdopendir(dirFd);
  if (!d) {
    const int rc = errno;
    ::close(dirFd);
    return rc;
  }
  std::vector<std::string> matches;
  while (dirent* e = ::readdir(d)) {
    std::string entry = e->d_name;
    if (entry != "." && entry != ".." && EqualsNoCase(entry, name)) matches.push_back(entry);
  }
  ::closedir(d);
  if (matches.empty()) return ENOENT;
  std::sort(matches.begin(), matches.end());
  found = matches.front();
  return 0;
}

// A drive path's drive folder, opened; the path's components below it with "." and ".."
// applied (".." above the drive is refused).
struct DriveWalk {
  std::string root;
  int fd = -1;
  std::vector<std::string> parts;
  ~DriveWalk() {
    if (fd >= 0) ::close(fd);
  }
};

// The folder a walk has reached, held open: each level is looked up in the one above it, so a
// path costs its depth, not its square. A link on the way is resolved from the drive folder as
// a whole path is, so it may lead anywhere beneath the drive and nowhere else.
class FolderCursor {
 public:
  explicit FolderCursor(const DriveWalk& walk) : walk_(walk) {}
  ~FolderCursor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderCursor(const FolderCursor&) = delete;
  FolderCursor& operator=(const FolderCursor&) = delete;

  int fd() const { return fd_ >= 0 ? fd_ : walk_.fd; }

  // Moves into the folder of the walk's first `depth` parts, one level below the current one.
  // 0 or an errno.
  int Enter(size_t depth) {
    int next = ::openat(fd(), walk_.parts[depth - 1].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && (errno == ENOTDIR || errno == ELOOP))  // a link, or no folder at all
      next = OpenBeneath(walk_.fd, JoinBelow(walk_.parts, depth), O_PATH | O_DIRECTORY);
    if (next < 0) return errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = next;
    return 0;
  }

 private:
  const DriveWalk& walk_;
  int fd_ = -1;
};

DWORD StartDriveWalk(const ComputerImage& computer, std::string_view winPath, DriveWalk& walk) {
  if (winPath.find('\0') != std::string_view::npos) return ERROR_BAD_PATHNAME;
  if (winPath.size() < 2 || !std::isalpha(static_cast<unsigned char>(winPath[0])) || winPath[1] != ':')
    return ERROR_BAD_PATHNAME;
  if (winPath.size() > 2 && !IsSep(winPath[2])) return ERROR_BAD_PATHNAME;  // "C:x" is relative to a cwd we do not have
  std::string drive;
  if (!FindDriveFolder(computer.root, std::string(1, winPath[0]), drive)) return ERROR_PATH_NOT_FOUND;
  walk.root = computer.root + "/" + drive;
  // The drive folder itself may be a link: that is how a mounted disk image joins the network.
  // Its descriptor is the boundary; nothing that the image holds may lead past it.
  walk.fd = ::open(walk.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (walk.fd < 0) return ERROR_PATH_NOT_FOUND;
  for (std::string& part : SplitComponents(winPath.substr(2))) {
    if (part == ".") continue;
    if (part == "..") {
      if (walk.parts.empty()) return ERROR_ACCESS_DENIED;  // would climb out of the drive
      walk.parts.pop_back();
      continue;
    }
    walk.parts.push_back(std::move(part));
  }
  return ERROR_SUCCESS;
}

DWORD FromLookup(int error, bool last) {
  if (error == EXDEV || error == ELOOP) return ERROR_ACCESS_DENIED;
  if (error == ENOENT || error == ENOTDIR) return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
  return Win32FromErrno(error);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string ExpandSystemRoot(std::string_view text, std::string_view systemRoot) {
  static constexpr std::string_view kNames[] = {"%SystemRoot%", "%WinDir%"};
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    if (text[i] == '%') {
      for (auto n : kNames) {
        if (text.size() - i >= n.size() && EqualsNoCase(text.substr(i, n.size()), n)) {
          out.append(systemRoot);
          i += n.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

DWORD ResolveImagePath(const ComputerImage& computer, std::string_view winPath, std::string& native,
                       PathUse use) {
  DriveWalk walk;
  if (DWORD rc = StartDriveWalk(computer, winPath, walk)) return rc;
  std::vector<std::string>& parts = walk.parts;
  FolderCursor cursor(walk);
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    std::string found;
    int rc = i > 0 ? cursor.Enter(i) : 0;
    if (rc == 0) rc = FindNoCase(cursor.fd(), parts[i], found);
    if (rc == 0) {
      parts[i] = found;
    } else if (!(rc == ENOENT && last && use == PathUse::Create)) {
      return FromLookup(rc, last);
    }
  }
  // Where the whole path leads now: every link on the way must stay beneath the drive. The
  // callers open it again the same way, so a link swapped in later leads nowhere either.
  const std::string below = JoinBelow(parts, parts.size());
  int rc = Probe(walk.fd, below);
  if (rc == ENOENT && use == PathUse::Create && !parts.empty())
    rc = Probe(walk.fd, JoinBelow(parts, parts.size() - 1), O_PATH | O_DIRECTORY);
  if (rc != 0) return FromLookup(rc, true);
  native = below.empty() ? walk.root : walk.root + "/" + below;
  return ERROR_SUCCESS;
}

DWORD MakeImageFolders(const ComputerImage& computer, std::string_view winFolder, unsigned mode, std::string& native) {
  if (winFolder.size() >= 2 && std::isalpha(static_cast<unsigned char>(winFolder[0])) && winFolder[1] == ':') {
    std::string drive;
    if (!FindDriveFolder(computer.root, std::string(1, winFolder[0]), drive)) {
      const std::string made = computer.root + "/" + static_cast<char>(std::toupper(static_cast<unsigned char>(winFolder[0])));
      if (::mkdir(made.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return Win32FromErrno(errno);
    }
  }
  DriveWalk walk;
  if (DWORD rc = StartDriveWalk(computer, winFolder, walk)) return rc;
  std::vector<std::string>& parts = walk.parts;
  FolderCursor cursor(walk);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      if (int rc = cursor.Enter(i)) return FromLookup(rc, false);
    }
    std::string found;
    int rc = FindNoCase(cursor.fd(), parts[i], found);
    if (rc == ENOENT) {
      rc = ::mkdirat(cursor.fd(), parts[i].c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST ? 0 : errno;
      if (rc) return Win32FromErrno(rc);
      found = parts[i];
    } else if (rc) {
      return FromLookup(rc, false);
    }
    parts[i] = found;
  }
  const std::string below = JoinBelow(parts, parts.size());
  if (int rc = Probe(walk.fd, below, O_PATH | O_DIRECTORY)) return FromLookup(rc, false);
  native = below.empty() ? walk.root : walk.root + "/" + below;
  return ERROR_SUCCESS;
}

DWORD ResolvePath(std::string_view path, std::string& native, PathUse use) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  if (path.find('\0') != std::string_view::npos) return ERROR_BAD_PATHNAME;
  if (path.size() >= 2 && path[0] == '\\' && IsSep(path[1])) {
    // \\SERVER\C$\rest
    std::string_view rest = path.substr(2);
    size_t s1 = rest.find_first_of("\\/");
    std::string_view server = rest.substr(0, s1);
    if (server.empty()) return ERROR_BAD_NETPATH;
    if (s1 == std::string_view::npos) return ERROR_BAD_NET_NAME;
    rest.remove_prefix(s1 + 1);
    size_t s2 = rest.find_first_of("\\/");
    std::string_view share = rest.substr(0, s2);
    std::string_view tail = s2 == std::string_view::npos ? std::string_view() : rest.substr(s2);
    ComputerImage computer;
    std::string serverName(server);
    if (DWORD rc = ReachComputer(serverName.c_str(), computer); rc != ERROR_SUCCESS) return rc;
    std::string winPath;
    if (EqualsNoCase(share, "ADMIN$")) {
      // The share of the system root, wherever the computer keeps it.
      winPath = computer.host.systemroot + (tail.empty() ? "\\" : std::string(tail));
    } else if (share.size() == 2 && std::isalpha(static_cast<unsigned char>(share[0])) && share[1] == '$') {
      winPath = std::string(1, share[0]) + ":" + (tail.empty() ? "\\" : std::string(tail));
    } else {
      return ERROR_BAD_NET_NAME;
    }
    DWORD rc = ResolveImagePath(computer, winPath, native, use);
    return rc == ERROR_PATH_NOT_FOUND && tail.empty() ? ERROR_BAD_NET_NAME : rc;
  }
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    ComputerImage local;
    if (ReachComputer(nullptr, local) != ERROR_SUCCESS) return ERROR_PATH_NOT_FOUND;
    return ResolveImagePath(local, path, native, use);
  }
  // Native paths: a backslash separates here too, so "<install>\Tallyard.log" names a file
  // in the install folder as it does on Windows.
  native.assign(path);
  for (auto& c : native)
    if (c == '\\') c = '/';
  return ERROR_SUCCESS;
}

DWORD MakeFolders(const std::string& native, unsigned mode) {
  if (native.empty()) return ERROR_PATH_NOT_FOUND;
  std::string cur;
  size_t i = 0;
  if (native[0] == '/') {
    cur = "/";
    i = 1;
  }
  while (i <= native.size()) {
    size_t j = native.find('/', i);
    if (j == std::string::npos) j = native.size();
    if (j > i) {
      if (!cur.empty() && cur.back() != '/') cur += "/";
      cur += native.substr(i, j - i);
      if (::mkdir(cur.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return Win32FromErrno(errno);
      struct stat st;
      if (::stat(cur.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    }
    i = j + 1;
  }
  return ERROR_SUCCESS;
}

}  // namespace platform

BOOL DeleteFileA(LPCSTR fileName) {
  std::string native;
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD rc = platform::ResolvePath(fileName, native); rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return FALSE;
  }
  // The name is removed from its folder as reached beneath the drive: a link swapped into the
  // image cannot lead the removal out of it.
  std::string name;
  int folder = platform::OpenNativeFolder(native, name);
  if (folder < 0) {
    SetLastError(Win32FromErrno(errno));
    return FALSE;
  }
  struct stat st;
  DWORD rc = ERROR_SUCCESS;
  // Only a file: Windows refuses a folder here with ERROR_ACCESS_DENIED.
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
    rc = ERROR_ACCESS_DENIED;
  else if (::unlinkat(folder, name.c_str(), 0) != 0)
    rc = Win32FromErrno(errno);
  ::close(folder);
  if (rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return FALSE;
  }
  return TRUE;
}

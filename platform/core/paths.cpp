#include "platform/core/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

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

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case; exact matches win.
bool FindEntryNoCase(const std::string& dir, const std::string& name, std::string& found) {
  if (Exists(dir + "/" + name)) {
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

std::string RealPath(const std::string& p) {
  char buf[PATH_MAX];
  if (!::realpath(p.c_str(), buf)) return {};
  return buf;
}

bool IsInside(const std::string& path, const std::string& root) {
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
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
  if (winPath.find('\0') != std::string_view::npos) return ERROR_BAD_PATHNAME;
  if (winPath.size() < 2 || !std::isalpha(static_cast<unsigned char>(winPath[0])) || winPath[1] != ':')
    return ERROR_BAD_PATHNAME;
  if (winPath.size() > 2 && !IsSep(winPath[2])) return ERROR_BAD_PATHNAME;  // "C:x" is relative to a cwd we do not have
  std::string drive;
  if (!FindEntryNoCase(computer.root, std::string(1, winPath[0]), drive)) return ERROR_PATH_NOT_FOUND;
  const std::string driveRoot = computer.root + "/" + drive;
  // The drive folder itself may be a link: that is how a mounted disk image joins the network.
  // Its real place is the boundary; nothing that the image holds may lead past it.
  const std::string realRoot = RealPath(driveRoot);
  if (realRoot.empty()) return ERROR_PATH_NOT_FOUND;

  std::vector<std::string> parts = SplitComponents(winPath.substr(2));
  std::vector<std::string> resolved;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    const bool last = i + 1 == parts.size();
    if (part == ".") continue;
    if (part == "..") {
      if (resolved.empty()) return ERROR_ACCESS_DENIED;  // would climb out of the drive
      resolved.pop_back();
      continue;
    }
    std::string dir = driveRoot;
    for (const auto& r : resolved) dir += "/" + r;
    std::string found;
    if (FindEntryNoCase(dir, part, found)) {
      resolved.push_back(found);
    } else if (last && use == PathUse::Create) {
      resolved.push_back(part);
    } else {
      return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
  }
  std::string path = driveRoot;
  for (const auto& r : resolved) path += "/" + r;

  // Links inside an image must not lead out of it: check where the deepest existing part lands.
  std::string check = path;
  if (!Exists(check)) check = path.substr(0, path.find_last_of('/'));
  std::string real = RealPath(check);
  if (real.empty()) {
    // A dangling link: whatever it names, we will not follow it.
    return Exists(check) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  if (!IsInside(real, realRoot)) return ERROR_ACCESS_DENIED;
  if (Exists(path)) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      std::string target = RealPath(path);
      if (target.empty() || !IsInside(target, realRoot)) return ERROR_ACCESS_DENIED;
    }
  }
  native = path;
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
  struct stat st;
  // Only a file: Windows refuses a folder here with ERROR_ACCESS_DENIED.
  if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(native.c_str()) != 0) {
    SetLastError(Win32FromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

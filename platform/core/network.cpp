#include "platform/core/network.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <tuple>

#include "platform/core/file_replace.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"

namespace platform {
namespace {

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseBool(const std::string& v, bool fallback) {
  std::string l = Lower(v);
  if (l == "true" || l == "yes" || l == "1" || l == "on") return true;
  if (l == "false" || l == "no" || l == "0" || l == "off") return false;
  return fallback;
}

bool IsDirectory(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool HostInfo::Denies(std::string_view what) const {
  for (const auto& d : deny)
    if (EqualsNoCase(d, what)) return true;
  return false;
}

std::string NetworkFolder() {
  if (const char* n = std::getenv("TALLYARD_NETWORK"); n && *n) return n;
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.local/share";
  } else {
    base = "/tmp";
  }
  return base + "/tallyard/network";
}

std::string LocalComputerName() {
  std::string name;
  if (const char* c = std::getenv("COMPUTERNAME"); c && *c) {
    name = c;
  } else {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !host[0]) std::snprintf(host, sizeof host, "LOCALHOST");
    name = host;
    if (auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    for (auto& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  name = NormalizeComputerName(name);
  if (name.size() > 15) name.resize(15);
  return name;
}

std::string NormalizeComputerName(std::string_view name) {
  if (name.size() >= 2 && (name[0] == '\\' || name[0] == '/') && (name[1] == '\\' || name[1] == '/'))
    name.remove_prefix(2);
  return std::string(name);
}

bool SameComputerName(std::string_view a, std::string_view b) {
  return EqualsNoCase(NormalizeComputerName(a), NormalizeComputerName(b));
}

DWORD FindComputer(std::string_view rawName, ComputerImage& out) {
  std::string name = NormalizeComputerName(rawName);
  // A computer name is one path component; anything that could walk the network folder is no name.
  if (name.empty() || name.size() > 255 || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos || name.find('\0') != std::string::npos)
    return ERROR_BAD_NETPATH;
  const std::string network = NetworkFolder();
  std::string folder;
  if (IsDirectory(network + "/" + name)) {
    folder = name;
  } else {
    DIR* dir = ::opendir(network.c_str());
    if (!dir) return ERROR_BAD_NETPATH;
    std::vector<std::string> matches;
    while (dirent* e = ::readdir(dir)) {
      std::string entry = e->d_name;
      if (entry != "." && entry != ".." && EqualsNoCase(entry, name)) matches.push_back(entry);
    }
    ::closedir(dir);
    std::sort(matches.begin(), matches.end());
    for (const auto& m : matches) {
      if (IsDirectory(network + "/" + m)) {
        folder = m;
        break;
      }
    }
    if (folder.empty()) return ERROR_BAD_NETPATH;
  }
  out.name = folder;
  out.root = network + "/" + folder;
  out.host = HostInfo{};
  DWORD rc = ReadHostInfo(out.root + "/host.ini", out.host);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return rc;
  return ERROR_SUCCESS;
}

DWORD ReachComputer(const char* name, ComputerImage& out) {
  std::string n = (name && *name) ? NormalizeComputerName(name) : LocalComputerName();
  if (n.empty()) n = LocalComputerName();
  DWORD rc = FindComputer(n, out);
  if (rc != ERROR_SUCCESS) return ERROR_BAD_NETPATH;
  if (!out.host.online) return ERROR_BAD_NETPATH;
  return ERROR_SUCCESS;
}

std::vector<ComputerImage> ListComputers() {
  std::vector<ComputerImage> list;
  const std::string network = NetworkFolder();
  DIR* dir = ::opendir(network.c_str());
  if (!dir) return list;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (IsDirectory(network + "/" + entry)) names.push_back(entry);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return Lower(a) < Lower(b);
  });
  for (const auto& n : names) {
    ComputerImage c;
    c.name = n;
    c.root = network + "/" + n;
    if (ReadHostInfo(c.root + "/host.ini", c.host) == ERROR_SUCCESS ||
        ::access((c.root + "/host.ini").c_str(), F_OK) != 0)
      list.push_back(std::move(c));
  }
  return list;
}

HostInfo ParseHostInfo(std::string_view text) {
  HostInfo info;
  // Editors often save a UTF-8 byte-order mark first; left in, it would hide the first section.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string section;
  std::istringstream in{std::string(text)};
  std::string line;
  while (std::getline(in, line)) {
    // A ';' or '#' starts a comment at the line's start or after white space.
    for (size_t i = 0; i < line.size(); ++i) {
      if ((line[i] == ';' || line[i] == '#') &&
          (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1])))) {
        line.resize(i);
        break;
      }
    }
    std::string t = Trim(line);
    if (t.empty()) continue;
    if (t.front() == '[' && t.back() == ']') {
      section = Lower(Trim(std::string_view(t).substr(1, t.size() - 2)));
      continue;
    }
    auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Lower(Trim(std::string_view(t).substr(0, eq)));
    std::string value = Trim(std::string_view(t).substr(eq + 1));
    if (section == "host") {
      if (key == "domain") info.domain = value;
      else if (key == "role") info.role = Lower(value);
      else if (key == "version") info.version = value;
      else if (key == "systemroot") info.systemroot = value;
      else if (key == "comment") info.comment = value;
      else if (key == "type") {
        char* end = nullptr;
        errno = 0;
        unsigned long v = std::strtoul(value.c_str(), &end, 0);
        if (errno == 0 && end && *end == '\0' && !value.empty() && v <= 0xFFFFFFFFul)
          info.type = static_cast<DWORD>(v);
      }
    } else if (section == "faults") {
      if (key == "online") info.online = ParseBool(value, true);
      else if (key == "busy") {
        char* end = nullptr;
        long v = std::strtol(value.c_str(), &end, 10);
        info.busy = (end && *end == '\0' && v > 0) ? static_cast<int>(std::min(v, 1000000L)) : 0;
      } else if (key == "deny") {
        std::string item;
        std::istringstream items(value);
        while (std::getline(items, item, ',')) {
          item = Lower(Trim(item));
          if (!item.empty()) info.deny.insert(item);
        }
      }
    }
  }
  return info;
}

std::string FormatHostInfo(const HostInfo& info) {
  std::ostringstream out;
  out << "[host]\n"
      << "domain = " << info.domain << "\n"
      << "role = " << info.role << "\n"
      << "version = " << info.version << "\n"
      << "systemroot = " << info.systemroot << "\n"
      << "comment = " << info.comment << "\n";
  if (info.type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", *info.type);
    out << "type = " << buf << "\n";
  }
  out << "[faults]\n"
      << "online = " << (info.online ? "true" : "false") << "\n"
      << "busy = " << info.busy << "\n"
      << "deny = ";
  bool first = true;
  for (const auto& d : info.deny) {
    out << (first ? "" : ",") << d;
    first = false;
  }
  out << "\n";
  return out.str();
}

namespace {

// Every event record's account lookup reaches its computer again: a host.ini once read is kept
// while the file is the very same and unchanged, one stat instead of reading it anew.
using HostFileStamp = std::tuple<dev_t, ino_t, off_t, long long, long, long long, long>;

struct HostInfoCache {
  static constexpr size_t kLimit = 1024;
  std::mutex lock;
  std::map<std::string, std::pair<HostFileStamp, HostInfo>> entries;
};

HostInfoCache& HostInfos() {
  static HostInfoCache cache;
  return cache;
}

}  // namespace

DWORD ReadHostInfo(const std::string& file, HostInfo& out) {
  // Stamped before the read: a change made meanwhile is read again next time. A file changed in
  // the last two seconds is read anyway, as its times may not yet tell one write from the next.
  struct stat st {};
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  const bool stamped = ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now.tv_sec - st.st_mtim.tv_sec >= 2 &&
                       now.tv_sec - st.st_ctim.tv_sec >= 2;
  const HostFileStamp stamp{st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec),
                            st.st_mtim.tv_nsec, static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec};
  if (stamped) {
    std::lock_guard<std::mutex> guard(HostInfos().lock);
    auto it = HostInfos().entries.find(file);
    if (it != HostInfos().entries.end() && it->second.first == stamp) {
      out = it->second.second;
      return ERROR_SUCCESS;
    }
  }
  // A few lines of settings: anything near this size, or no regular file, is no host.ini.
  constexpr size_t kLargest = 64 * 1024;
  std::string text;
  if (int e = ReadRegularFile(file, kLargest, text)) {
    if (e == ENOENT) return ERROR_FILE_NOT_FOUND;
    return e == kNotRegularFile || e == EFBIG ? ERROR_BAD_FORMAT : Win32FromErrno(e);
  }
  out = ParseHostInfo(text);
  if (stamped) {
    std::lock_guard<std::mutex> guard(HostInfos().lock);
    if (HostInfos().entries.size() >= HostInfoCache::kLimit) HostInfos().entries.clear();
    HostInfos().entries[file] = {stamp, out};
  }
  return ERROR_SUCCESS;
}

DWORD WriteHostInfo(const std::string& file, const HostInfo& info) {
  return Win32FromReplaceError(ReplaceFile(file, FormatHostInfo(info), 0644));
}

}  // namespace platform

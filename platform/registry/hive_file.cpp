#include "platform/registry/hive_file.h"

#include <fcntl.h>
#include <hivex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "platform/core/beneath.h"
#include "platform/core/file_replace.h"
#include "platform/core/regular_file.h"
#include "platform/registry/hive_compact.h"
#include "platform/registry/hive_format.h"

namespace platform {

struct Hive::Impl {
  hive_h* h = nullptr;
  bool writable = false;
  bool changed = false;
  // Change sessions: a key's subkeys by name (ASCII case folded, as hivex compares), read once
  // per key. hivex looks through every subkey for each one it finds or adds; a session adding
  // thousands of subkeys to one key would otherwise do that three times for each.
  std::unordered_map<HiveNode, std::unordered_map<std::string, HiveNode>> children;
};

namespace {

std::atomic<int> failCommitCountdown{0};

// Frees what hivex hands out with malloc.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

// hivex keeps any stored type (SAM keeps RIDs there) in an enum whose range C++ does not
// promise to hold: pass types through its storage as plain integers.
DWORD TypeFrom(const hive_type& t) {
  uint32_t v;
  static_assert(sizeof v == sizeof t);
  std::memcpy(&v, &t, sizeof v);
  return v;
}
void TypeTo(hive_type& t, DWORD v) {
  uint32_t u = v;
  std::memcpy(&t, &u, sizeof t);
}

DWORD FromHivexErrno(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_REGISTRY_CORRUPT;
  }
}

// hivex takes C strings: a name with a NUL inside cannot be stored or found.
bool CName(std::string_view name, std::string& out) {
  if (name.find('\0') != std::string_view::npos) return false;
  out.assign(name);
  return true;
}

size_t Utf16Length(std::string_view utf8) { return Utf8ToUtf16Le(utf8).size() / 2; }

struct FileIdentity {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime {};
  bool operator==(const FileIdentity& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

FileIdentity IdentityOf(const struct stat& st) {
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// hivex reads a hive it changes whole into memory; no hive of NT comes near this.
constexpr off_t kLargestHive = off_t{1} << 30;

// Checks what hivex takes on trust: the length of the bins that the base block claims. A claim
// past the end of the file opens, but hivex then places new bins behind the claimed end and
// pads the gap: the file it writes opens nowhere, and the padding costs memory as the lie is
// large.
DWORD CheckBaseBlock(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return Win32FromErrno(errno);
  if (st.st_size < 0x2000 || st.st_size > kLargestHive) return ERROR_BADDB;
  uint8_t base[48];
  if (::pread(fd, base, sizeof base, 0) != static_cast<ssize_t>(sizeof base)) return ERROR_BADDB;
  const uint64_t bins = LoadLe32(base + 40);
  if (std::memcmp(base, "regf", 4) != 0 || bins == 0 || bins % 0x1000 != 0 ||
      0x1000 + bins > static_cast<uint64_t>(st.st_size))
    return ERROR_BADDB;
  return ERROR_SUCCESS;
}

// Opens the file's bytes through an already open descriptor, so what hivex parses is exactly the
// inode we stat-ed. HIVEX_OPEN_WRITE loads the file into memory instead of mapping it: a file
// cut short under us by some other tool can then never fault a reader.
hive_h* OpenThroughFd(int fd, DWORD& rc) {
  if ((rc = CheckBaseBlock(fd)) != ERROR_SUCCESS) return nullptr;
  std::string procPath = "/proc/self/fd/" + std::to_string(fd);
  errno = 0;
  hive_h* h = hivex_open(procPath.c_str(), HIVEX_OPEN_WRITE);
  if (!h) rc = errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_BADDB;
  return h;
}

// Opens a hive file for reading. A FIFO or device planted in an image under a hive's name is
// no hive.
DWORD OpenHiveFile(const std::string& file, int& fd) {
  fd = OpenRegularFile(file, O_RDONLY);
  if (fd >= 0) return ERROR_SUCCESS;
  if (errno == ENOENT) return ERROR_FILE_NOT_FOUND;
  return errno == kNotRegularFile ? ERROR_BADDB : Win32FromErrno(errno);
}

struct Snapshot {
  int fd = -1;  // held open so that the inode number stays ours while cached
  FileIdentity identity;
  Hive::Impl impl;
  std::mutex mutex;  // hivex handles are not shared between threads
  ~Snapshot() {
    if (impl.h) hivex_close(impl.h);
    if (fd >= 0) ::close(fd);
  }
};

std::mutex cacheMutex;
std::map<std::string, std::shared_ptr<Snapshot>>& Cache() {
  static auto* cache = new std::map<std::string, std::shared_ptr<Snapshot>>();
  return *cache;
}
constexpr size_t kCacheLimit = 32;

void ForgetSnapshot(const std::string& file) {
  std::lock_guard lock(cacheMutex);
  Cache().erase(file);
}

DWORD FromStatError(int e) { return e == ENOENT || e == ENOTDIR ? ERROR_FILE_NOT_FOUND : Win32FromErrno(e); }

DWORD GetSnapshot(const std::string& file, std::shared_ptr<Snapshot>& out) {
  struct stat st;
  if (int e = StatNative(file, st)) return FromStatError(e);
  if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
  {
    std::lock_guard lock(cacheMutex);
    auto it = Cache().find(file);
    if (it != Cache().end() && it->second->identity == IdentityOf(st)) {
      out = it->second;
      return ERROR_SUCCESS;
    }
  }
  auto snap = std::make_shared<Snapshot>();
  if (DWORD rc = OpenHiveFile(file, snap->fd)) return rc;
  if (::fstat(snap->fd, &st) != 0) return Win32FromErrno(errno);
  snap->identity = IdentityOf(st);
  DWORD rc = ERROR_SUCCESS;
  snap->impl.h = OpenThroughFd(snap->fd, rc);
  if (!snap->impl.h) return rc;
  std::lock_guard lock(cacheMutex);
  auto& cache = Cache();
  if (cache.size() >= kCacheLimit) {
    for (auto it = cache.begin(); it != cache.end();) {
      if (it->second.use_count() == 1) it = cache.erase(it); else ++it;
    }
  }
  cache[file] = snap;
  out = std::move(snap);
  return ERROR_SUCCESS;
}

class LockFile {
 public:
  explicit LockFile(const std::string& file) {
    fd_ = OpenNative(file + ".lock", O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
      rc_ = Win32FromErrno(errno);
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        rc_ = Win32FromErrno(errno);
        return;
      }
    }
  }
  ~LockFile() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock
  }
  DWORD rc() const { return rc_; }

 private:
  int fd_ = -1;
  DWORD rc_ = ERROR_SUCCESS;
};

// ---- compaction ----
//
// hivex never reuses a freed cell: every change session starts a new 4 KiB bin, and adding a
// subkey copies the parent's whole subkey list, so a hive that is changed often (the settings
// on every exit) or given many subkeys under one key would grow without end, or with the
// square of the subkeys. When most of a committed hive is dead space it is rewritten compact
// (platform/registry/hive_compact.h); the copy replaces hivex's only when it reads back as the
// very same keys and values.

struct Census {
  bool parsed = false;
  size_t binBytes = 0;
  size_t liveBytes = 0;
};

Census TakeCensus(const std::string& bytes) {
  Census c;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 0x2000) return c;
  size_t pos = 0x1000;
  while (pos + 32 <= bytes.size()) {
    if (std::memcmp(b + pos, "hbin", 4) != 0) break;
    const size_t binSize = LoadLe32(b + pos + 8);
    if (binSize < 0x1000 || binSize % 0x1000 || pos + binSize > bytes.size()) return c;
    size_t cell = pos + 32;
    while (cell + 4 <= pos + binSize) {
      const int32_t size = static_cast<int32_t>(LoadLe32(b + cell));
      const size_t len = static_cast<size_t>(size < 0 ? -static_cast<int64_t>(size) : size);
      if (len < 8 || len % 4 || cell + len > pos + binSize) return c;
      if (size < 0) c.liveBytes += len;
      cell += len;
    }
    c.binBytes += binSize;
    pos += binSize;
  }
  c.parsed = true;
  return c;
}

bool WorthCompacting(const Census& c) { return c.parsed && c.binBytes >= 64 * 1024 && c.binBytes > 4 * c.liveBytes; }

// hivex reads and writes by name: an open descriptor is named through /proc.
std::string NameOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

DWORD WalkCheck(const Hive& hive, HiveNode node, std::set<HiveNode>& seen, int depth) {
  // Windows refuses trees deeper than 512 levels; a deeper one here is a loop or a forgery.
  if (depth > 512) return ERROR_REGISTRY_CORRUPT;
  if (!seen.insert(node).second) return ERROR_REGISTRY_CORRUPT;
  std::string name;
  if (DWORD rc = hive.Name(node, name)) return rc;
  std::vector<std::string> values;
  if (DWORD rc = hive.ValueNames(node, values)) return rc;
  for (const auto& v : values) {
    RegistryValue value;
    if (DWORD rc = hive.GetValue(node, v, value)) return rc == ERROR_FILE_NOT_FOUND ? ERROR_REGISTRY_CORRUPT : rc;
  }
  std::vector<HiveNode> children;
  if (DWORD rc = hive.Children(node, children)) return rc;
  for (HiveNode child : children)
    if (DWORD rc = WalkCheck(hive, child, seen, depth + 1)) return rc;
  return ERROR_SUCCESS;
}

// Whether two hives hold the same keys (names, in order) with the same values.
bool SameTree(const Hive& a, HiveNode na, const Hive& b, HiveNode nb, int depth) {
  if (depth > 512) return false;
  std::string nameA, nameB;
  std::vector<std::string> valuesA, valuesB;
  std::vector<HiveNode> childrenA, childrenB;
  if (a.Name(na, nameA) || b.Name(nb, nameB) || nameA != nameB || a.ValueNames(na, valuesA) ||
      b.ValueNames(nb, valuesB) || valuesA != valuesB || a.Children(na, childrenA) || b.Children(nb, childrenB) ||
      childrenA.size() != childrenB.size())
    return false;
  for (const auto& v : valuesA) {
    RegistryValue va, vb;
    if (a.GetValue(na, v, va) || b.GetValue(nb, v, vb) || va.type != vb.type || va.data != vb.data) return false;
  }
  for (size_t i = 0; i < childrenA.size(); ++i)
    if (!SameTree(a, childrenA[i], b, childrenB[i], depth + 1)) return false;
  return true;
}

// Replaces the committed hive in `fd` (whose bytes are `bytes`) with its compact copy, when the
// copy can be made and reads back the same; otherwise leaves it as hivex wrote it.
DWORD Compact(int fd, const std::string& bytes) {
  std::string compact;
  if (CompactHive(bytes, compact) != ERROR_SUCCESS) return ERROR_SUCCESS;
  const int copy = ::memfd_create("hive", MFD_CLOEXEC);
  if (copy < 0) return ERROR_SUCCESS;
  bool same = false;
  if (WriteAll(copy, compact.data(), compact.size()) == 0) {
    DWORD ignored = ERROR_SUCCESS;
    Hive::Impl before, after;
    before.h = OpenThroughFd(fd, ignored);
    after.h = OpenThroughFd(copy, ignored);
    if (before.h && after.h) {
      Hive a(&before), b(&after);
      same = SameTree(a, a.Root(), b, b.Root(), 0);
    }
    if (before.h) hivex_close(before.h);
    if (after.h) hivex_close(after.h);
  }
  ::close(copy);
  if (!same) return ERROR_SUCCESS;
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, compact.data(), compact.size(), 0) != static_cast<ssize_t>(compact.size()))
    return ERROR_WRITE_FAULT;
  return ERROR_SUCCESS;
}

// Reads a hive just written as a reader will: if any reader would refuse it, it must not
// replace the file it was made from.
DWORD CheckWritten(int fd) {
  DWORD rc = ERROR_SUCCESS;
  Hive::Impl impl;
  impl.h = OpenThroughFd(fd, rc);
  if (!impl.h) return ERROR_REGISTRY_CORRUPT;
  Hive hive(&impl);
  std::set<HiveNode> seen;
  rc = WalkCheck(hive, hive.Root(), seen, 0);
  hivex_close(impl.h);
  return rc == ERROR_NOT_ENOUGH_MEMORY ? rc : rc ? DWORD{ERROR_REGISTRY_CORRUPT} : DWORD{ERROR_SUCCESS};
}

// Commits the changed hive over `file`, compacting it on the way when that is worth it. `mode`
// is the hive's, kept also when the name is a link that the commit replaces.
DWORD CommitHive(hive_h* h, const std::string& file, mode_t mode) {
  DWORD rc = ERROR_SUCCESS;
  auto fill = [&](int fd) {
    if (int pending = failCommitCountdown.load(); pending > 0 && failCommitCountdown.fetch_sub(1) == 1) {
      rc = ERROR_WRITE_FAULT;
      return EIO;
    }
    errno = 0;
    if (hivex_commit(h, NameOf(fd).c_str(), 0) != 0) {
      rc = errno ? Win32FromErrno(errno) : ERROR_WRITE_FAULT;
      return EIO;
    }
    std::string bytes;
    if (ReadToEnd(fd, static_cast<size_t>(kLargestHive), bytes) == 0 && WorthCompacting(TakeCensus(bytes)))
      rc = Compact(fd, bytes);
    if (rc == ERROR_SUCCESS) rc = CheckWritten(fd);
    return rc == ERROR_SUCCESS ? 0 : EIO;
  };
  ReplaceError e = ReplaceFile(file, fill, mode);
  if (rc == ERROR_SUCCESS && e) rc = Win32FromReplaceError(e);
  if (rc == ERROR_SUCCESS) ForgetSnapshot(file);
  return rc;
}

}  // namespace

// ---- Hive ----

HiveNode Hive::Root() const { return hivex_root(impl_->h); }

namespace {
std::string Folded(std::string name) {
  for (auto& ch : name)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return name;
}
}  // namespace

DWORD Hive::Child(HiveNode parent, std::string_view name, HiveNode& out) const {
  std::string c;
  if (!CName(name, c)) return ERROR_FILE_NOT_FOUND;
  if (impl_->writable) {
    auto known = impl_->children.find(parent);
    if (known == impl_->children.end()) {
      std::vector<HiveNode> list;
      if (DWORD rc = Children(parent, list)) return rc;
      std::unordered_map<std::string, HiveNode> byName;
      for (HiveNode child : list) {
        std::string n;
        if (DWORD rc = Name(child, n)) return rc;
        byName.emplace(Folded(std::move(n)), child);  // the first of two alike wins, as in hivex
      }
      known = impl_->children.emplace(parent, std::move(byName)).first;
    }
    auto it = known->second.find(Folded(c));
    if (it == known->second.end()) return ERROR_FILE_NOT_FOUND;
    out = it->second;
    return ERROR_SUCCESS;
  }
  errno = 0;
  hive_node_h child = hivex_node_get_child(impl_->h, parent, c.c_str());
  if (child == 0) return errno == 0 ? ERROR_FILE_NOT_FOUND : FromHivexErrno(errno);
  out = child;
  return ERROR_SUCCESS;
}

DWORD Hive::Children(HiveNode node, std::vector<HiveNode>& out) const {
  errno = 0;
  Malloced<hive_node_h> list(hivex_node_children(impl_->h, node));
  if (!list) return FromHivexErrno(errno);
  out.clear();
  for (size_t i = 0; list.get()[i]; ++i) out.push_back(list.get()[i]);
  return ERROR_SUCCESS;
}

DWORD Hive::Name(HiveNode node, std::string& out) const {
  errno = 0;
  Malloced<char> name(hivex_node_name(impl_->h, node));
  if (!name) return FromHivexErrno(errno);
  out = name.get();
  return ERROR_SUCCESS;
}

DWORD Hive::Timestamp(HiveNode node, uint64_t& fileTime) const {
  errno = 0;
  int64_t t = hivex_node_timestamp(impl_->h, node);
  if (t < 0) return FromHivexErrno(errno);
  fileTime = static_cast<uint64_t>(t);
  return ERROR_SUCCESS;
}

DWORD Hive::Walk(const std::vector<std::string>& names, HiveNode& out) const {
  HiveNode node = Root();
  for (const auto& n : names)
    if (DWORD rc = Child(node, n, node)) return rc;
  out = node;
  return ERROR_SUCCESS;
}

DWORD Hive::ValueNames(HiveNode node, std::vector<std::string>& out) const {
  errno = 0;
  Malloced<hive_value_h> list(hivex_node_values(impl_->h, node));
  if (!list) return FromHivexErrno(errno);
  out.clear();
  for (size_t i = 0; list.get()[i]; ++i) {
    errno = 0;
    Malloced<char> key(hivex_value_key(impl_->h, list.get()[i]));
    if (!key) return FromHivexErrno(errno);
    out.emplace_back(key.get());
  }
  return ERROR_SUCCESS;
}

DWORD Hive::GetValue(HiveNode node, std::string_view name, RegistryValue& out) const {
  std::string c;
  if (!CName(name, c)) return ERROR_FILE_NOT_FOUND;
  errno = 0;
  hive_value_h v = hivex_node_get_value(impl_->h, node, c.c_str());
  if (v == 0) return errno == 0 ? ERROR_FILE_NOT_FOUND : FromHivexErrno(errno);
  hive_type t;
  size_t len = 0;
  errno = 0;
  if (hivex_value_type(impl_->h, v, &t, &len) != 0) return FromHivexErrno(errno);
  RegistryValue value;
  value.type = TypeFrom(t);
  if (len > 0) {
    errno = 0;
    Malloced<char> data(hivex_value_value(impl_->h, v, &t, &len));
    if (!data) return FromHivexErrno(errno);
    value.data.assign(data.get(), len);
  }
  out = std::move(value);
  return ERROR_SUCCESS;
}

DWORD Hive::AddChild(HiveNode parent, std::string_view name, HiveNode& out) {
  if (!impl_->writable) return ERROR_ACCESS_DENIED;
  std::string c;
  if (!CName(name, c) || c.empty() || c.find('\\') != std::string::npos || Utf16Length(c) > kMaxKeyNameLength)
    return ERROR_INVALID_PARAMETER;
  HiveNode existing = 0;
  if (Child(parent, c, existing) == ERROR_SUCCESS) {
    out = existing;
    return ERROR_SUCCESS;
  }
  errno = 0;
  hive_node_h child = hivex_node_add_child(impl_->h, parent, c.c_str());
  if (child == 0) return FromHivexErrno(errno);
  impl_->changed = true;
  if (auto known = impl_->children.find(parent); known != impl_->children.end()) known->second.emplace(Folded(c), child);
  out = child;
  return ERROR_SUCCESS;
}

DWORD Hive::CreatePath(const std::vector<std::string>& names, HiveNode& out, bool* created) {
  HiveNode node = Root();
  bool made = false;
  for (const auto& n : names) {
    HiveNode next = 0;
    DWORD rc = Child(node, n, next);
    if (rc == ERROR_FILE_NOT_FOUND) {
      if ((rc = AddChild(node, n, next)) != ERROR_SUCCESS) return rc;
      made = true;
    } else if (rc != ERROR_SUCCESS) {
      return rc;
    } else {
      made = false;
    }
    node = next;
  }
  if (created) *created = made;
  out = node;
  return ERROR_SUCCESS;
}

DWORD Hive::SetValue(HiveNode node, std::string_view name, const RegistryValue& value) {
  if (!impl_->writable) return ERROR_ACCESS_DENIED;
  std::string c;
  if (!CName(name, c) || Utf16Length(c) > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  RegistryValue old;
  if (GetValue(node, c, old) == ERROR_SUCCESS && old.type == value.type && old.data == value.data)
    return ERROR_SUCCESS;  // unchanged: the file need not be rewritten
  std::string data = value.data;
  hive_set_value v;
  v.key = c.data();
  TypeTo(v.t, value.type);
  v.len = data.size();
  v.value = data.data();
  errno = 0;
  if (hivex_node_set_value(impl_->h, node, &v, 0) != 0) return FromHivexErrno(errno);
  impl_->changed = true;
  return ERROR_SUCCESS;
}

DWORD Hive::DeleteValue(HiveNode node, std::string_view name) {
  if (!impl_->writable) return ERROR_ACCESS_DENIED;
  // hivex can only replace a key's whole value list.
  std::vector<std::string> names;
  if (DWORD rc = ValueNames(node, names)) return rc;
  std::vector<std::pair<std::string, RegistryValue>> keep;
  bool found = false;
  for (const auto& n : names) {
    if (!found && n.size() == name.size() && strncasecmp(n.c_str(), std::string(name).c_str(), n.size()) == 0) {
      found = true;
      continue;
    }
    RegistryValue v;
    if (DWORD rc = GetValue(node, n, v)) return rc;
    keep.emplace_back(n, std::move(v));
  }
  if (!found) return ERROR_FILE_NOT_FOUND;
  std::vector<hive_set_value> set(keep.size());
  for (size_t i = 0; i < keep.size(); ++i) {
    set[i].key = keep[i].first.data();
    TypeTo(set[i].t, keep[i].second.type);
    set[i].len = keep[i].second.data.size();
    set[i].value = keep[i].second.data.data();
  }
  errno = 0;
  if (hivex_node_set_values(impl_->h, node, set.size(), set.data(), 0) != 0) return FromHivexErrno(errno);
  impl_->changed = true;
  return ERROR_SUCCESS;
}

DWORD Hive::DeleteKey(HiveNode node) {
  if (!impl_->writable) return ERROR_ACCESS_DENIED;
  if (node == Root()) return ERROR_ACCESS_DENIED;
  errno = 0;
  if (hivex_node_delete_child(impl_->h, node) != 0) return FromHivexErrno(errno);
  impl_->changed = true;
  impl_->children.clear();  // the key and all below it are gone
  return ERROR_SUCCESS;
}

// ---- files ----

DWORD ReadHive(const std::string& file, const std::function<DWORD(const Hive&)>& read) {
  std::shared_ptr<Snapshot> snap;
  if (DWORD rc = GetSnapshot(file, snap)) return rc;
  std::lock_guard lock(snap->mutex);
  Hive hive(&snap->impl);
  return read(hive);
}

DWORD ChangeHive(const std::string& file, const std::function<DWORD(Hive&)>& change) {
  struct stat st;
  if (int e = StatNative(file, st)) return FromStatError(e);
  if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
  // A hive we may not write is refused before anything, the lock file included, is made.
  if (int probe = OpenNative(file, O_WRONLY | O_NONBLOCK | O_NOCTTY); probe >= 0) ::close(probe);
  else return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED : FromStatError(errno);
  LockFile lock(file);
  if (lock.rc()) return lock.rc();
  // Only now, under the lock, is the file's content the one to change.
  int fd = -1;
  if (DWORD rc = OpenHiveFile(file, fd)) return rc;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return Win32FromErrno(errno);
  }
  DWORD rc = ERROR_SUCCESS;
  Hive::Impl impl;
  impl.h = OpenThroughFd(fd, rc);
  ::close(fd);
  if (!impl.h) return rc;
  impl.writable = true;
  Hive hive(&impl);
  rc = change(hive);
  // hivex would create a file world-readable; the temporary it writes has the hive's mode first.
  if (rc == ERROR_SUCCESS && impl.changed) rc = CommitHive(impl.h, file, st.st_mode & 07777);
  hivex_close(impl.h);
  return rc;
}

DWORD CreateHiveFile(const std::string& file, unsigned mode) {
  struct stat st;
  if (StatNative(file, st) == 0) return ERROR_SUCCESS;
  LockFile lock(file);
  if (lock.rc()) return lock.rc();
  if (StatNative(file, st) == 0) return ERROR_SUCCESS;
  return Win32FromReplaceError(ReplaceFile(file, MakeEmptyHive(FileTimeNow()), static_cast<mode_t>(mode)));
}

DWORD CheckHiveFile(const std::string& file) {
  return ReadHive(file, [](const Hive& hive) {
    std::set<HiveNode> seen;
    return WalkCheck(hive, hive.Root(), seen, 0);
  });
}

namespace testing {
void FailHiveCommit(int nth) { failCommitCountdown.store(nth); }
}  // namespace testing

}  // namespace platform

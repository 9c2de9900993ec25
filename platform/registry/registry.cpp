#include "platform/registry/registry.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/registry/hive_format.h"
#include "platform/core/paths.h"

namespace platform {
namespace {

// An open key: which computer, which hive, and the key names below the hive's root (with
// CurrentControlSet already mapped, as Windows resolves the link when the key is opened).
struct RegKey : HandleObject {
  ComputerImage computer;
  // The hive files found so far, shared by every key opened from one connection: finding a file
  // inside an image reads its folders, and a reader walking many keys should do that once.
  struct HiveFiles {
    std::mutex mutex;
    std::array<std::string, 4> files;
  };
  std::shared_ptr<HiveFiles> hiveFiles = std::make_shared<HiveFiles>();
  int hive = -1;  // index into MachineHiveNames(); -1 is HKEY_LOCAL_MACHINE itself
  std::string file;
  std::vector<std::string> names;
  REGSAM access = 0;
};

int HiveIndex(std::string_view name) {
  const auto& hives = MachineHiveNames();
  for (size_t i = 0; i < hives.size(); ++i)
    if (EqualsNoCase(hives[i], name)) return static_cast<int>(i);
  return -1;
}

bool IsSystemHive(int hive) { return hive >= 0 && MachineHiveNames()[static_cast<size_t>(hive)] == "SYSTEM"; }

DWORD ConnectRoot(const char* machine, RegKey& out) {
  if (DWORD rc = ReachComputer(machine, out.computer)) return rc;
  if (out.computer.host.Denies("registry")) return ERROR_ACCESS_DENIED;
  out.hive = -1;
  out.access = KEY_ALL_ACCESS;
  return ERROR_SUCCESS;
}

// The key a handle stands for; the predefined HKEY_LOCAL_MACHINE is this computer's root.
DWORD KeyOf(HKEY h, RegKey& out) {
  if (h == HKEY_LOCAL_MACHINE) return ConnectRoot(nullptr, out);
  auto key = LookupHandle<RegKey>(h);
  if (!key) return ERROR_INVALID_HANDLE;
  out = *key;
  return ERROR_SUCCESS;
}

// Appends a subkey path to a key; the hive file is found when the path enters a hive.
DWORD Descend(const RegKey& base, const char* sub, RegKey& out) {
  out = base;
  if (!sub || !*sub) return ERROR_SUCCESS;
  std::vector<std::string> names;
  if (sub[0] == '\\') return ERROR_BAD_PATHNAME;
  if (DWORD rc = SplitKeyPath(sub, names)) return rc;
  size_t first = 0;
  if (out.hive < 0) {
    out.hive = HiveIndex(names[0]);
    if (out.hive < 0) return ERROR_FILE_NOT_FOUND;
    std::lock_guard lock(out.hiveFiles->mutex);
    std::string& known = out.hiveFiles->files[static_cast<size_t>(out.hive)];
    if (known.empty())
      if (DWORD rc = ImageHiveFile(out.computer, names[0], known)) return rc;
    out.file = known;
    first = 1;
  }
  for (size_t i = first; i < names.size(); ++i) {
    if (Utf8ToUtf16Le(names[i]).size() / 2 > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    out.names.push_back(names[i]);
  }
  return ERROR_SUCCESS;
}

DWORD MapIfSystem(const Hive& hive, RegKey& key) {
  return IsSystemHive(key.hive) ? MapControlSet(hive, key.names) : ERROR_SUCCESS;
}

// A key that was there when opened and is gone now answers as Windows does for a deleted key.
DWORD WalkOpenKey(const Hive& hive, const RegKey& key, HiveNode& node) {
  DWORD rc = hive.Walk(key.names, node);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : rc;
}

bool ExistingHive(const ComputerImage& computer, const std::string& name) {
  std::string file;
  return ImageHiveFile(computer, name, file) == ERROR_SUCCESS;
}

HKEY NewHandle(const RegKey& key) {
  return reinterpret_cast<HKEY>(RegisterHandle(std::make_shared<RegKey>(key)));
}

// What an A call hands out for a stored value: strings as UTF-8.
std::string AnsiData(const RegistryValue& v) {
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    if (v.data.empty()) return {};
    std::string text = Utf16LeToUtf8(v.data);
    text.resize(std::strlen(text.c_str()));
    text.push_back('\0');
    return text;
  }
  if (v.type == REG_MULTI_SZ) {
    std::string text = Utf16LeToUtf8(v.data);
    if (!text.empty() && text.back() != '\0') text.push_back('\0');
    return text;
  }
  return v.data;
}

// Copies `data` out under the registry's buffer rules.
LONG GiveData(const RegistryValue& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const std::string data = AnsiData(v);
  if (lpData && data.size() > *lpcbData) {
    *lpcbData = static_cast<DWORD>(data.size());
    if (lpType) *lpType = v.type;
    return ERROR_MORE_DATA;
  }
  if (lpData && !data.empty()) std::memcpy(lpData, data.data(), data.size());
  if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
  if (lpType) *lpType = v.type;
  return ERROR_SUCCESS;
}

// Copies a name into a caller's character buffer: 234 with the name cut (never inside a UTF-8
// character) when it does not fit with its NUL.
LONG GiveName(const std::string& name, LPSTR buffer, LPDWORD cch) {
  if (!buffer || !cch) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 <= *cch) {
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
  }
  if (*cch > 0) {
    size_t n = *cch - 1;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
  }
  return ERROR_MORE_DATA;
}

LONG WriteCheck(const RegKey& key) {
  if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (key.computer.host.Denies("registry-set")) return ERROR_ACCESS_DENIED;
  if (key.hive < 0) return ERROR_ACCESS_DENIED;  // HKEY_LOCAL_MACHINE holds no values
  return ERROR_SUCCESS;
}

}  // namespace

// ---- platform helpers ----

const std::vector<std::string>& MachineHiveNames() {
  static const std::vector<std::string> names = {"SAM", "SECURITY", "SOFTWARE", "SYSTEM"};
  return names;
}

DWORD ImageHiveFile(const ComputerImage& computer, std::string_view hiveName, std::string& native, bool forCreate) {
  int index = HiveIndex(hiveName);
  if (index < 0) return ERROR_FILE_NOT_FOUND;
  std::string path = computer.host.systemroot;
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  path += "\\System32\\config\\" + MachineHiveNames()[static_cast<size_t>(index)];
  DWORD rc = ResolveImagePath(computer, path, native, forCreate ? PathUse::Create : PathUse::Read);
  if (rc == ERROR_PATH_NOT_FOUND) rc = ERROR_FILE_NOT_FOUND;
  return rc;
}

DWORD SplitKeyPath(std::string_view path, std::vector<std::string>& names) {
  names.clear();
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_BAD_PATHNAME;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    names.emplace_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

DWORD MapControlSet(const Hive& hive, std::vector<std::string>& names) {
  if (names.empty() || !EqualsNoCase(names[0], "CurrentControlSet")) return ERROR_SUCCESS;
  HiveNode select = 0;
  if (DWORD rc = hive.Walk({"Select"}, select)) return rc;
  RegistryValue current;
  if (DWORD rc = hive.GetValue(select, "Current", current)) return rc;
  if (current.type != REG_DWORD || current.data.size() != 4) return ERROR_REGISTRY_CORRUPT;
  const DWORD n = LoadLe32(reinterpret_cast<const unsigned char*>(current.data.data()));
  if (n == 0 || n > 999) return ERROR_REGISTRY_CORRUPT;
  char set[16];
  std::snprintf(set, sizeof set, "ControlSet%03u", n);
  names[0] = set;
  return ERROR_SUCCESS;
}

namespace {
struct ImageKey {
  std::string file;
  bool system = false;
  std::vector<std::string> names;
};
DWORD LocateImageKey(const ComputerImage& computer, std::string_view keyPath, ImageKey& out, bool forCreate = false) {
  std::vector<std::string> names;
  if (DWORD rc = SplitKeyPath(keyPath, names)) return rc;
  if (DWORD rc = ImageHiveFile(computer, names[0], out.file, forCreate)) return rc;
  out.system = EqualsNoCase(names[0], "SYSTEM");
  out.names.assign(names.begin() + 1, names.end());
  return ERROR_SUCCESS;
}
}  // namespace

DWORD ReadImageValue(const ComputerImage& computer, std::string_view keyPath, std::string_view valueName,
                     RegistryValue& out) {
  ImageKey key;
  if (DWORD rc = LocateImageKey(computer, keyPath, key)) return rc;
  return ReadHive(key.file, [&](const Hive& hive) {
    if (key.system)
      if (DWORD rc = MapControlSet(hive, key.names)) return rc;
    HiveNode node = 0;
    if (DWORD rc = hive.Walk(key.names, node)) return rc;
    return hive.GetValue(node, valueName, out);
  });
}

DWORD ListImageSubkeys(const ComputerImage& computer, std::string_view keyPath, std::vector<std::string>& names) {
  ImageKey key;
  if (DWORD rc = LocateImageKey(computer, keyPath, key)) return rc;
  return ReadHive(key.file, [&](const Hive& hive) {
    if (key.system)
      if (DWORD rc = MapControlSet(hive, key.names)) return rc;
    HiveNode node = 0;
    if (DWORD rc = hive.Walk(key.names, node)) return rc;
    std::vector<HiveNode> children;
    if (DWORD rc = hive.Children(node, children)) return rc;
    names.clear();
    for (HiveNode c : children) {
      std::string n;
      if (DWORD rc = hive.Name(c, n)) return rc;
      names.push_back(std::move(n));
    }
    return DWORD{ERROR_SUCCESS};
  });
}

DWORD ListImageValues(const ComputerImage& computer, std::string_view keyPath,
                      std::vector<std::pair<std::string, RegistryValue>>& values) {
  ImageKey key;
  if (DWORD rc = LocateImageKey(computer, keyPath, key)) return rc;
  return ReadHive(key.file, [&](const Hive& hive) {
    if (key.system)
      if (DWORD rc = MapControlSet(hive, key.names)) return rc;
    HiveNode node = 0;
    if (DWORD rc = hive.Walk(key.names, node)) return rc;
    std::vector<std::string> names;
    if (DWORD rc = hive.ValueNames(node, names)) return rc;
    values.clear();
    for (const auto& n : names) {
      RegistryValue v;
      if (DWORD rc = hive.GetValue(node, n, v)) return rc;
      values.emplace_back(n, std::move(v));
    }
    return DWORD{ERROR_SUCCESS};
  });
}

DWORD ChangeImageKey(const ComputerImage& computer, std::string_view keyPath, bool create,
                     const std::function<DWORD(Hive&, HiveNode)>& change) {
  ImageKey key;
  if (DWORD rc = LocateImageKey(computer, keyPath, key)) return rc;
  return ChangeHive(key.file, [&](Hive& hive) {
    if (key.system)
      if (DWORD rc = MapControlSet(hive, key.names)) return rc;
    HiveNode node = 0;
    DWORD rc = create ? hive.CreatePath(key.names, node) : hive.Walk(key.names, node);
    if (rc) return rc;
    return change(hive, node);
  });
}

DWORD WriteImageValue(const ComputerImage& computer, std::string_view keyPath, std::string_view valueName,
                      const RegistryValue& value, bool createKey) {
  return ChangeImageKey(computer, keyPath, createKey,
                        [&](Hive& hive, HiveNode node) { return hive.SetValue(node, valueName, value); });
}

RegistryValue StringValue(DWORD type, std::string_view utf8) {
  std::string text(utf8);
  if (text.empty() || text.back() != '\0') text.push_back('\0');
  if (type == REG_MULTI_SZ && (text.size() < 2 || text[text.size() - 2] != '\0')) text.push_back('\0');
  return RegistryValue{type, Utf8ToUtf16Le(text)};
}

RegistryValue DwordValue(DWORD value) {
  RegistryValue v{REG_DWORD, std::string(4, '\0')};
  StoreLe32(reinterpret_cast<unsigned char*>(v.data.data()), value);
  return v;
}

std::string ValueText(const RegistryValue& value) {
  std::string text = AnsiData(RegistryValue{value.type == REG_MULTI_SZ ? REG_MULTI_SZ : REG_SZ, value.data});
  if (value.type != REG_MULTI_SZ) text.resize(std::strlen(text.c_str()));
  return text;
}

DWORD LocalHiveReadableByOthers(std::string_view keyPath, bool& readable, std::string& file) {
  ComputerImage computer;
  std::vector<std::string> names;
  if (DWORD rc = ReachComputer(nullptr, computer)) return rc;
  if (DWORD rc = SplitKeyPath(keyPath, names)) return rc;
  if (DWORD rc = ImageHiveFile(computer, names[0], file)) return rc;
  char real[PATH_MAX];
  if (::realpath(file.c_str(), real) == nullptr) return Win32FromErrno(errno);
  struct stat st;
  if (::stat(real, &st) != 0) return Win32FromErrno(errno);
  // The group and everyone else each read the file if it lets them and every folder above it
  // lets them through.
  bool groupReads = (st.st_mode & S_IRGRP) != 0, othersRead = (st.st_mode & S_IROTH) != 0;
  for (std::string folder = real; (groupReads || othersRead) && folder.size() > 1;) {
    folder.erase(folder.find_last_of('/') == 0 ? 1 : folder.find_last_of('/'));
    if (::stat(folder.c_str(), &st) != 0) return Win32FromErrno(errno);
    groupReads = groupReads && (st.st_mode & S_IXGRP) != 0;
    othersRead = othersRead && (st.st_mode & S_IXOTH) != 0;
  }
  readable = groupReads || othersRead;
  return ERROR_SUCCESS;
}

}  // namespace platform

using namespace platform;

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  if (hKey != HKEY_LOCAL_MACHINE) return ERROR_INVALID_PARAMETER;
  RegKey key;
  if (DWORD rc = ConnectRoot(lpMachineName, key)) return static_cast<LONG>(rc);
  *phkResult = NewHandle(key);
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  RegKey base, key;
  if (DWORD rc = KeyOf(hKey, base)) return static_cast<LONG>(rc);
  if (DWORD rc = Descend(base, lpSubKey, key)) return static_cast<LONG>(rc);
  key.access = samDesired;
  if (key.hive >= 0) {
    DWORD rc = ReadHive(key.file, [&](const Hive& hive) {
      if (DWORD r = MapIfSystem(hive, key)) return r;
      HiveNode node = 0;
      DWORD r = hive.Walk(key.names, node);
      return r == ERROR_FILE_NOT_FOUND && !lpSubKey ? ERROR_KEY_DELETED : r;
    });
    if (rc) return static_cast<LONG>(rc);
  }
  *phkResult = NewHandle(key);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, void*, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  RegKey base, key;
  if (DWORD rc = KeyOf(hKey, base)) return static_cast<LONG>(rc);
  if (base.computer.host.Denies("registry-set")) return ERROR_ACCESS_DENIED;
  if (lpSubKey && *lpSubKey && !(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  DWORD rc = Descend(base, lpSubKey, key);
  if (rc == ERROR_FILE_NOT_FOUND && base.hive < 0) return ERROR_ACCESS_DENIED;  // a new hive cannot be made here
  if (rc) return static_cast<LONG>(rc);
  key.access = samDesired;
  bool created = false;
  if (key.hive >= 0) {
    rc = ChangeHive(key.file, [&](Hive& hive) {
      if (DWORD r = MapIfSystem(hive, key)) return r;
      HiveNode node = 0;
      return hive.CreatePath(key.names, node, &created);
    });
    if (rc) return static_cast<LONG>(rc);
  }
  *phkResult = NewHandle(key);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  RegKey key;
  if (DWORD rc = KeyOf(hKey, key)) return static_cast<LONG>(rc);
  if (!(key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::string name;
  uint64_t stamp = 0;
  if (key.hive < 0) {
    std::vector<std::string> present;
    for (const auto& h : MachineHiveNames())
      if (ExistingHive(key.computer, h)) present.push_back(h);
    if (dwIndex >= present.size()) return ERROR_NO_MORE_ITEMS;
    name = present[dwIndex];
  } else {
    DWORD rc = ReadHive(key.file, [&](const Hive& hive) {
      HiveNode node = 0;
      if (DWORD r = WalkOpenKey(hive, key, node)) return r;
      std::vector<HiveNode> children;
      if (DWORD r = hive.Children(node, children)) return r;
      if (dwIndex >= children.size()) return DWORD{ERROR_NO_MORE_ITEMS};
      if (DWORD r = hive.Name(children[dwIndex], name)) return r;
      return hive.Timestamp(children[dwIndex], stamp);
    });
    if (rc) return static_cast<LONG>(rc);
  }
  LONG rc = GiveName(name, lpName, lpcchName);
  if (rc == ERROR_SUCCESS) {
    if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) {
      unsigned char raw[8];
      StoreLe64(raw, stamp);
      std::memcpy(static_cast<void*>(lpftLastWriteTime), raw, sizeof raw);
    }
  }
  return rc;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
  RegKey key;
  if (DWORD rc = KeyOf(hKey, key)) return static_cast<LONG>(rc);
  if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (key.hive < 0) return ERROR_NO_MORE_ITEMS;
  std::string name;
  RegistryValue value;
  DWORD rc = ReadHive(key.file, [&](const Hive& hive) {
    HiveNode node = 0;
    if (DWORD r = WalkOpenKey(hive, key, node)) return r;
    std::vector<std::string> names;
    if (DWORD r = hive.ValueNames(node, names)) return r;
    if (dwIndex >= names.size()) return DWORD{ERROR_NO_MORE_ITEMS};
    name = names[dwIndex];
    DWORD r = hive.GetValue(node, name, value);
    return r == ERROR_FILE_NOT_FOUND ? DWORD{ERROR_REGISTRY_CORRUPT} : r;
  });
  if (rc) return static_cast<LONG>(rc);
  if (LONG r = GiveName(name, lpValueName, lpcchValueName)) return r;
  return GiveData(value, lpType, lpData, lpcbData);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  RegKey key;
  if (DWORD rc = KeyOf(hKey, key)) return static_cast<LONG>(rc);
  if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (key.hive < 0) return ERROR_FILE_NOT_FOUND;
  RegistryValue value;
  DWORD rc = ReadHive(key.file, [&](const Hive& hive) {
    HiveNode node = 0;
    if (DWORD r = WalkOpenKey(hive, key, node)) return r;
    return hive.GetValue(node, lpValueName ? lpValueName : "", value);
  });
  if (rc) return static_cast<LONG>(rc);
  return GiveData(value, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  RegKey key;
  if (DWORD rc = KeyOf(hKey, key)) return static_cast<LONG>(rc);
  if (LONG rc = WriteCheck(key)) return rc;
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  RegistryValue value{dwType, std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)};
  if (dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ) value.data = Utf8ToUtf16Le(value.data);
  const std::string name = lpValueName ? lpValueName : "";
  // A value that already holds these bytes needs neither the lock nor a commit.
  bool same = false;
  ReadHive(key.file, [&](const Hive& hive) {
    HiveNode node = 0;
    RegistryValue old;
    same = hive.Walk(key.names, node) == 0 && hive.GetValue(node, name, old) == 0 && old.type == value.type &&
           old.data == value.data;
    return DWORD{0};
  });
  if (same) return ERROR_SUCCESS;
  DWORD rc = ChangeHive(key.file, [&](Hive& hive) {
    HiveNode node = 0;
    if (DWORD r = WalkOpenKey(hive, key, node)) return r;
    return hive.SetValue(node, name, value);
  });
  return static_cast<LONG>(rc);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  RegKey key;
  if (DWORD rc = KeyOf(hKey, key)) return static_cast<LONG>(rc);
  if (LONG rc = WriteCheck(key)) return rc;
  const std::string name = lpValueName ? lpValueName : "";
  return static_cast<LONG>(ChangeHive(key.file, [&](Hive& hive) {
    HiveNode node = 0;
    if (DWORD r = WalkOpenKey(hive, key, node)) return r;
    return hive.DeleteValue(node, name);
  }));
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
  RegKey base, key;
  if (DWORD rc = KeyOf(hKey, base)) return static_cast<LONG>(rc);
  if (base.computer.host.Denies("registry-set")) return ERROR_ACCESS_DENIED;
  if (DWORD rc = Descend(base, lpSubKey, key)) return static_cast<LONG>(rc);
  if (key.names.empty()) return ERROR_ACCESS_DENIED;  // a hive's root stays
  return static_cast<LONG>(ChangeHive(key.file, [&](Hive& hive) {
    if (DWORD r = MapIfSystem(hive, key)) return r;
    HiveNode node = 0;
    if (DWORD r = hive.Walk(key.names, node)) return r;
    std::vector<HiveNode> children;
    if (DWORD r = hive.Children(node, children)) return r;
    if (!children.empty()) return DWORD{ERROR_ACCESS_DENIED};
    return hive.DeleteKey(node);
  }));
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return ReleaseHandle<RegKey>(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

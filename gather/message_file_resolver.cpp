#include "gather/message_file_resolver.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/registry/registry.h"

namespace {

constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
// A key name is up to 255 UTF-16 characters: up to 765 bytes of UTF-8 and its terminator.
constexpr DWORD kNameBytes = 766;
// No hive holds a longer name (its length is 16 bits, in UTF-16 at worst 3 bytes a unit here).
constexpr DWORD kLargestNameBytes = 3 * 65536;

// Source names compare as Windows compares them with NORM_IGNORECASE, over both full lengths.
bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == '\0';
}

}  // namespace

MessageFileResolver::MessageFileResolver(const char* computerName, const char* logName, bool& ok) {
  ok = false;
  if (computerName) computerName_ = computerName;
  HKEY connected = nullptr;
  lastRegistryError_ = RegConnectRegistryA(computerName, HKEY_LOCAL_MACHINE, &connected);
  if (lastRegistryError_ != ERROR_SUCCESS) return;
  const std::string logKeyPath = std::string(kEventLogKey) + (logName ? logName : "");
  HKEY logKey = nullptr;
  lastRegistryError_ = RegOpenKeyExA(connected, logKeyPath.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &logKey);
  if (lastRegistryError_ != ERROR_SUCCESS) {
    RegCloseKey(connected);
    return;
  }
  std::vector<char> name(kNameBytes);
  alignas(8) unsigned char lastWrite[8];
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    name[0] = '\0';
    LONG rc = RegEnumKeyExA(logKey, index, name.data(), &size, nullptr, nullptr, nullptr,
                            reinterpret_cast<PFILETIME>(lastWrite));
    if (rc == ERROR_MORE_DATA && name.size() < kLargestNameBytes) {
      // A cut name would never match its records: read this key again with more room.
      name.resize(std::min<size_t>(name.size() * 4, kLargestNameBytes));
      --index;
      continue;
    }
    name.back() = '\0';
    lastRegistryError_ = rc;
    if (rc == ERROR_SUCCESS) {
      sources_.emplace_back(name.data());
      ReadSourceValues(connected, logKeyPath + "\\" + name.data());
      continue;
    }
    if (rc == ERROR_NO_MORE_ITEMS) {
      sourceCount_ = static_cast<DWORD>(sources_.size());
      RegCloseKey(logKey);
      ok = ReadSystemRoot(connected);
      RegCloseKey(connected);
      return;
    }
    RegCloseKey(logKey);
    RegCloseKey(connected);
    return;
  }
}

std::string MessageFileResolver::ReadText(HKEY key, const char* valueName) {
  DWORD size = 0;
  lastRegistryError_ = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
  if (lastRegistryError_ != ERROR_SUCCESS || size == 0) return {};
  std::string data(size, '\0');
  lastRegistryError_ =
      RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  if (lastRegistryError_ != ERROR_SUCCESS) return {};
  data.resize(std::min<size_t>(size, data.size()));
  return data.substr(0, data.find('\0'));
}

void MessageFileResolver::ReadSourceValues(HKEY connected, const std::string& sourceKeyPath) {
  HKEY key = nullptr;
  lastRegistryError_ = RegOpenKeyExA(connected, sourceKeyPath.c_str(), 0, KEY_READ, &key);
  if (lastRegistryError_ != ERROR_SUCCESS) {
    eventMessageFiles_.emplace_back();
    categoryMessageFiles_.emplace_back();
    parameterMessageFiles_.emplace_back();
    return;
  }
  eventMessageFiles_.push_back(ReadText(key, "EventMessageFile"));
  categoryMessageFiles_.push_back(ReadText(key, "CategoryMessageFile"));
  parameterMessageFiles_.push_back(ReadText(key, "ParameterMessageFile"));
  RegCloseKey(key);
}

bool MessageFileResolver::ReadSystemRoot(HKEY connected) {
  HKEY key = nullptr;
  lastRegistryError_ = RegOpenKeyExA(connected, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &key);
  if (lastRegistryError_ != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool ok = false;
  lastRegistryError_ = RegQueryValueExA(key, "SystemRoot", nullptr, nullptr, nullptr, &size);
  if (lastRegistryError_ == ERROR_SUCCESS) {
    std::string data(size, '\0');
    lastRegistryError_ =
        RegQueryValueExA(key, "SystemRoot", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    if (lastRegistryError_ == ERROR_SUCCESS) {
      data.resize(std::min<size_t>(size, data.size()));
      systemRoot_ = data.substr(0, data.find('\0'));
      ok = true;
    }
  }
  RegCloseKey(key);
  return ok;
}

bool MessageFileResolver::FindSource(const char* sourceName, int32_t& index) const {
  index = -1;
  if (!sourceName) return false;
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (SameIgnoringCase(sources_[i], sourceName)) {
      index = static_cast<int32_t>(i);
      return true;
    }
  }
  return false;
}

FileList MessageFileResolver::ExpandFileList(const std::string& stored) const {
  FileList list;
  size_t start = 0;
  for (size_t i = 0; i <= stored.size(); ++i) {
    if (i == stored.size() || stored[i] == ';') {
      list.paths.push_back(stored.substr(start, i - start));
      ++list.count;
      start = i + 1;
    }
  }
  static const std::string kSystemRoot = "%SystemRoot%";
  for (std::string& path : list.paths) {
    if (path.size() > kSystemRoot.size() && SameIgnoringCase(kSystemRoot, path.substr(0, kSystemRoot.size()).c_str()))
      path = systemRoot_ + path.substr(kSystemRoot.size());
    if (computerName_ && path.size() >= 2 && path[1] == ':') {
      path[1] = '$';
      path = "\\\\" + *computerName_ + "\\" + path;
    }
  }
  return list;
}

bool MessageFileResolver::GetFiles(const std::vector<std::string>& list, int32_t index, FileList& out) const {
  if (index < 0 || static_cast<DWORD>(index) >= sourceCount_ || static_cast<size_t>(index) >= list.size() ||
      list[static_cast<size_t>(index)].empty())
    return false;
  FileList expanded = ExpandFileList(list[static_cast<size_t>(index)]);
  out.count = 0;
  for (auto& p : expanded.paths) {
    out.paths.push_back(std::move(p));
    ++out.count;
  }
  return true;
}

bool MessageFileResolver::GetEventMessageFiles(int32_t index, FileList& out) const {
  return GetFiles(eventMessageFiles_, index, out);
}
bool MessageFileResolver::GetCategoryMessageFiles(int32_t index, FileList& out) const {
  return GetFiles(categoryMessageFiles_, index, out);
}
bool MessageFileResolver::GetParameterMessageFiles(int32_t index, FileList& out) const {
  return GetFiles(parameterMessageFiles_, index, out);
}

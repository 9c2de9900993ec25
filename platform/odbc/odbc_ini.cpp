#include "platform/odbc/odbc_ini.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/odbc/odbc_install.h"
#include "platform/odbc/odbc_installer.h"

namespace platform {
namespace {

using odbc_installer::LoadInstaller;

// Configuration files are small; anything larger is not one.
constexpr off_t kMaxIniBytes = 4 << 20;

std::string_view Trim(std::string_view s) {
  const char* blank = " \t\r\n\f\v";
  size_t first = s.find_first_not_of(blank);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blank) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// A missing or unreadable file reads as empty, as the driver manager takes it.
std::string ReadIniFile(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIniBytes) {
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
      ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    text.resize(got);
  }
  ::close(fd);
  return text;
}

// The driver manager's configuration sections, which name no driver and no data source.
bool ConfigurationSection(std::string_view name) { return SameName(name, "ODBC") || SameName(name, "ODBC Data Sources"); }

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The driver manager looks for a bare library name in its own library folder's "odbc" folder,
// then in that folder, then where the dynamic loader looks; the installer lives beside it.
std::string FindLibrary(const std::string& library) {
  auto exists = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  if (library.empty()) return std::string();
  if (library.find('/') != std::string::npos) return exists(library) ? library : std::string();
  std::vector<std::string> folders;
  Dl_info info{};
  const auto& installer = LoadInstaller();
  if (installer.setConfigMode != nullptr && dladdr(reinterpret_cast<void*>(installer.setConfigMode), &info) != 0 &&
      info.dli_fname != nullptr && std::string(info.dli_fname).find('/') != std::string::npos) {
    std::string folder = FolderOf(info.dli_fname);
    folders.push_back(folder + "/odbc");
    folders.push_back(folder);
  }
  if (const char* path = std::getenv("LD_LIBRARY_PATH")) {
    std::string_view rest = path;
    while (!rest.empty()) {
      size_t colon = rest.find(':');
      if (std::string_view part = rest.substr(0, colon); !part.empty()) folders.emplace_back(part);
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  for (const std::string& folder : folders)
    if (exists(folder + "/" + library)) return folder + "/" + library;
  return std::string();
}

WORD ModeOf(DataSourceScope scope) {
  return scope == DataSourceScope::System ? odbc_installer::kSystemMode : odbc_installer::kUserMode;
}

std::string InstallerReason() {
  std::string reason = LastInstallerError();
  return reason.empty() ? std::string("the ODBC installer gave no reason") : "the ODBC installer says " + reason;
}

}  // namespace

std::vector<IniSection> ParseOdbcIni(std::string_view text) {
  std::vector<IniSection> sections;
  IniSection* current = nullptr;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      current = nullptr;
      if (name.empty()) continue;
      bool seen = false;
      for (const IniSection& s : sections) seen = seen || SameName(s.name, name);
      if (!seen) current = &sections.emplace_back(IniSection{std::string(name), {}});
      continue;
    }
    size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    bool seen = false;
    for (const auto& entry : current->entries) seen = seen || SameName(entry.first, key);
    if (!seen) current->entries.emplace_back(std::string(key), std::string(Trim(line.substr(equals + 1))));
  }
  return sections;
}

std::string IniValue(const IniEntries& entries, std::string_view key) {
  for (const auto& [name, value] : entries)
    if (SameName(name, key)) return value;
  return std::string();
}

std::string DriverFile() {
  const auto& installer = LoadInstaller();
  char name[4096] = {};
  std::string file = "odbcinst.ini";
  // ODBCINSTINI may rename it; the installer knows.
  if (installer.systemFileName != nullptr && installer.systemFileName(name) != nullptr && name[0] != '\0') file = name;
  return odbc_installer::SystemFolder() + "/" + file;
}

std::string DataSourceFile(DataSourceScope scope) {
  return scope == DataSourceScope::System ? SystemDataSourceFile() : UserDataSourceFile();
}

std::vector<OdbcDriver> ListOdbcDrivers() {
  std::vector<OdbcDriver> drivers;
  for (IniSection& section : ParseOdbcIni(ReadIniFile(DriverFile()))) {
    if (ConfigurationSection(section.name)) continue;
    OdbcDriver driver{section.name, IniValue(section.entries, "Driver"), std::string()};
    driver.libraryPath = FindLibrary(driver.library);
    drivers.push_back(std::move(driver));
  }
  return drivers;
}

std::vector<DataSourceEntry> ListDataSources() {
  std::vector<DataSourceEntry> sources;
  for (DataSourceScope scope : {DataSourceScope::System, DataSourceScope::User}) {
    std::string file = DataSourceFile(scope);
    if (file.empty()) continue;
    for (IniSection& section : ParseOdbcIni(ReadIniFile(file))) {
      if (ConfigurationSection(section.name)) continue;
      DataSourceEntry entry{section.name, scope, IniValue(section.entries, "Driver"), {}};
      for (auto& pair : section.entries)
        if (!SameName(pair.first, "Driver")) entry.attributes.push_back(std::move(pair));
      sources.push_back(std::move(entry));
    }
  }
  return sources;
}

bool CanWriteDataSources(DataSourceScope scope) {
  std::string file = DataSourceFile(scope);
  if (file.empty()) return false;
  if (::access(file.c_str(), F_OK) == 0) return ::access(file.c_str(), W_OK) == 0;
  return ::access(FolderOf(file).c_str(), W_OK) == 0;
}

bool WriteDataSource(const DataSourceEntry& entry, std::string* error) {
  std::string file = DataSourceFile(entry.scope);
  if (!LoadInstaller().complete) {
    if (error) *error = "libodbcinst.so.2 (package libodbcinst2) is missing or incomplete";
    return false;
  }
  if (!odbc_installer::EnsureWritableFile(file)) {
    if (error) *error = "cannot write " + file;
    return false;
  }
  if (!odbc_installer::WriteSection(ModeOf(entry.scope), entry.name, entry.driver, entry.attributes)) {
    if (error) *error = "cannot write the data source " + entry.name + " to " + file + ": " + InstallerReason();
    return false;
  }
  return true;
}

bool RemoveDataSource(const std::string& name, DataSourceScope scope, std::string* error) {
  std::string file = DataSourceFile(scope);
  const auto& installer = LoadInstaller();
  if (!installer.complete) {
    if (error) *error = "libodbcinst.so.2 (package libodbcinst2) is missing or incomplete";
    return false;
  }
  bool there = false;
  for (const IniSection& section : ParseOdbcIni(ReadIniFile(file))) there = there || SameName(section.name, name);
  if (!there) {
    if (error) *error = "there is no data source " + name + " in " + file;
    return false;
  }
  if (::access(file.c_str(), W_OK) != 0) {
    if (error) *error = "cannot write " + file;
    return false;
  }
  installer.setConfigMode(ModeOf(scope));
  BOOL ok = installer.removeDsnFromIni(name.c_str());
  installer.setConfigMode(odbc_installer::kBothModes);
  if (!ok && error) *error = "cannot remove the data source " + name + " from " + file + ": " + InstallerReason();
  return ok != FALSE;
}

}  // namespace platform

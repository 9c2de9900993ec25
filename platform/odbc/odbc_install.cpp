#include "platform/odbc/odbc_install.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/odbc/odbc_installer.h"

namespace platform::odbc_installer {

namespace {

template <typename F>
void Resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
}

}  // namespace

// Loaded once and kept for the life of the process, as the installer keeps state of its own.
const Installer& LoadInstaller() {
  static Installer installer;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    Resolve(library, "SQLConfigDataSource", installer.configDataSource);
    Resolve(library, "SQLWriteDSNToIni", installer.writeDsnToIni);
    Resolve(library, "SQLRemoveDSNFromIni", installer.removeDsnFromIni);
    Resolve(library, "SQLWritePrivateProfileString", installer.writePrivateProfileString);
    Resolve(library, "SQLGetPrivateProfileString", installer.getPrivateProfileString);
    Resolve(library, "SQLSetConfigMode", installer.setConfigMode);
    Resolve(library, "SQLInstallerError", installer.installerError);
    Resolve(library, "odbcinst_system_file_path", installer.systemFilePath);
    Resolve(library, "odbcinst_system_file_name", installer.systemFileName);
    installer.complete = installer.configDataSource && installer.writeDsnToIni && installer.removeDsnFromIni &&
                         installer.writePrivateProfileString && installer.getPrivateProfileString &&
                         installer.setConfigMode && installer.installerError;
  });
  return installer;
}

bool EnsureWritableFile(const std::string& path) {
  if (path.empty()) return false;
  if (access(path.c_str(), F_OK) != 0) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return false;
    if (fd >= 0) close(fd);
  }
  return access(path.c_str(), W_OK) == 0;
}

std::string SystemFolder() {
  const Installer& installer = LoadInstaller();
  char folder[4096] = {};
  // The installer's own answer (ODBCSYSINI or its compiled-in folder); it keeps the first one
  // it gave for the rest of the process.
  if (installer.systemFilePath != nullptr && installer.systemFilePath(folder) != nullptr && folder[0] != '\0')
    return folder;
  const char* env = std::getenv("ODBCSYSINI");
  return env && *env ? env : "/etc";
}

bool WriteSection(WORD mode, const std::string& name, const std::string& driver,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
  const Installer& installer = LoadInstaller();
  if (!installer.complete) return false;
  installer.setConfigMode(mode);
  BOOL ok = installer.writeDsnToIni(name.c_str(), driver.c_str());
  for (const auto& [key, value] : entries) {
    if (!ok) break;
    if (strcasecmp(key.c_str(), "Driver") == 0) continue;
    ok = installer.writePrivateProfileString(name.c_str(), key.c_str(), value.c_str(), "odbc.ini");
  }
  installer.setConfigMode(kBothModes);
  return ok != FALSE;
}

}  // namespace platform::odbc_installer

namespace {

using platform::odbc_installer::EnsureWritableFile;
using platform::odbc_installer::Installer;
using platform::odbc_installer::kSystemMode;
using platform::odbc_installer::kUserMode;
using platform::odbc_installer::LoadInstaller;

// The installer's code for a failure it cannot place more precisely.
constexpr DWORD kGeneralError = 1;

DWORD InstallerErrorCode(const Installer& installer) {
  DWORD code = 0;
  char text[512];
  WORD length = 0;
  short rc = installer.installerError(1, &code, text, sizeof text, &length);
  return rc == 0 || rc == 1 ? code : 0;  // SQL_SUCCESS or SQL_SUCCESS_WITH_INFO
}

// 0 when `path` can be written, or made in its folder; else the errno why not. A link to
// nowhere cannot be made through.
int WriteError(const std::string& path) {
  if (path.empty()) return ENOENT;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 || errno != ENOENT) return access(path.c_str(), W_OK) == 0 ? 0 : errno;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

bool DriverInstalled(const Installer& installer, LPCSTR driver) {
  char value[512] = {};
  return installer.getPrivateProfileString(driver, "Driver", "", value, sizeof value, "odbcinst.ini") > 0 &&
         value[0] != '\0';
}

// "key=value\0key=value\0\0" into its pairs; a text without "=" is skipped.
std::vector<std::pair<std::string, std::string>> SplitAttributes(LPCSTR attributes) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* p = attributes; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
    const char* equals = std::strchr(p, '=');
    if (equals == nullptr || equals == p) continue;
    pairs.emplace_back(std::string(p, equals), std::string(equals + 1));
  }
  return pairs;
}

// The entry written by the installer's own calls, in the given configuration mode.
BOOL WriteEntry(WORD mode, LPCSTR driver, LPCSTR attributes) {
  auto pairs = SplitAttributes(attributes);
  std::string dsn;
  for (const auto& [key, value] : pairs)
    if (strcasecmp(key.c_str(), "DSN") == 0) dsn = value;
  if (dsn.empty()) return FALSE;
  std::erase_if(pairs, [](const auto& pair) { return strcasecmp(pair.first.c_str(), "DSN") == 0; });
  return platform::odbc_installer::WriteSection(mode, dsn, driver, pairs);
}

}  // namespace

namespace platform {

std::string SystemDataSourceFile() { return odbc_installer::SystemFolder() + "/odbc.ini"; }

std::string UserDataSourceFile() {
  const char* env = std::getenv("ODBCINI");
  if (env != nullptr && *env != '\0') return env;
  // The installer takes the home folder from the user database, not from $HOME.
  const passwd* user = getpwuid(getuid());
  if (user == nullptr || user->pw_dir == nullptr) return std::string();
  return std::string(user->pw_dir) + "/.odbc.ini";
}

DataSourceTarget DataSourceTargetFor(WORD request) {
  DataSourceTarget out;
  if (request == ODBC_ADD_SYS_DSN) {
    out.path = SystemDataSourceFile();
    out.systemError = WriteError(out.path);
    out.system = out.systemError == 0;
    if (out.system) return out;
  }
  out.path = UserDataSourceFile();
  out.error = WriteError(out.path);
  return out;
}

bool OdbcDriverInstalled(const char* driver) {
  const Installer& installer = LoadInstaller();
  return installer.complete && DriverInstalled(installer, driver);
}

void KeepInstallerLoaded() { LoadInstaller(); }

std::string LastInstallerError() {
  const Installer& installer = LoadInstaller();
  if (!installer.complete) return "libodbcinst.so.2 is missing or incomplete";
  DWORD code = 0;
  char text[512] = {};
  WORD length = 0;
  short rc = installer.installerError(1, &code, text, sizeof text, &length);
  if (rc != 0 && rc != 1) return std::string();
  return std::to_string(code) + ": " + text;
}

}  // namespace platform

extern "C" BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) {
  const Installer& installer = LoadInstaller();
  if (!installer.complete || driver == nullptr || attributes == nullptr) return FALSE;
  if (request != ODBC_ADD_DSN && request != ODBC_ADD_SYS_DSN)
    return installer.configDataSource(parent, request, driver, attributes);

  const platform::DataSourceTarget file = platform::DataSourceTargetFor(request);
  const WORD mode = file.system ? kSystemMode : kUserMode;
  request = file.system ? ODBC_ADD_SYS_DSN : ODBC_ADD_DSN;
  if (file.error == 0) EnsureWritableFile(file.path);
  if (installer.configDataSource(parent, request, driver, attributes)) return TRUE;
  // Only the missing setup routine of an installed driver is worked around; any other
  // refusal stands.
  if (InstallerErrorCode(installer) != kGeneralError || !DriverInstalled(installer, driver)) return FALSE;
  return WriteEntry(mode, driver, attributes);
}

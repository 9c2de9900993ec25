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

namespace {

// unixODBC's installer codes and configuration modes.
constexpr DWORD kGeneralError = 1;
constexpr WORD kBothModes = 0, kUserMode = 1, kSystemMode = 2;

struct Installer {
  BOOL (*configDataSource)(HWND, WORD, LPCSTR, LPCSTR) = nullptr;
  BOOL (*writeDsnToIni)(LPCSTR, LPCSTR) = nullptr;
  BOOL (*writePrivateProfileString)(LPCSTR, LPCSTR, LPCSTR, LPCSTR) = nullptr;
  int (*getPrivateProfileString)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR) = nullptr;
  BOOL (*setConfigMode)(WORD) = nullptr;
  short (*installerError)(WORD, DWORD*, LPSTR, WORD, WORD*) = nullptr;
  char* (*systemFilePath)(char*) = nullptr;
  bool complete = false;
};

template <typename F>
void Resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
}

// Loaded once and kept for the life of the process, as the installer keeps state of its own.
const Installer& LoadInstaller() {
  static Installer installer;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    Resolve(library, "SQLConfigDataSource", installer.configDataSource);
    Resolve(library, "SQLWriteDSNToIni", installer.writeDsnToIni);
    Resolve(library, "SQLWritePrivateProfileString", installer.writePrivateProfileString);
    Resolve(library, "SQLGetPrivateProfileString", installer.getPrivateProfileString);
    Resolve(library, "SQLSetConfigMode", installer.setConfigMode);
    Resolve(library, "SQLInstallerError", installer.installerError);
    Resolve(library, "odbcinst_system_file_path", installer.systemFilePath);
    installer.complete = installer.configDataSource && installer.writeDsnToIni && installer.writePrivateProfileString &&
                         installer.getPrivateProfileString && installer.setConfigMode && installer.installerError;
  });
  return installer;
}

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

// The unixODBC installer cannot write into an odbc.ini that does not exist yet (its first
// attempt only creates the file and fails), so an empty one is made beforehand.
void CreateIfMissing(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) close(fd);
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
BOOL WriteEntry(const Installer& installer, WORD mode, LPCSTR driver, LPCSTR attributes) {
  auto pairs = SplitAttributes(attributes);
  std::string dsn;
  for (const auto& [key, value] : pairs)
    if (strcasecmp(key.c_str(), "DSN") == 0) dsn = value;
  if (dsn.empty()) return FALSE;
  installer.setConfigMode(mode);
  BOOL ok = installer.writeDsnToIni(dsn.c_str(), driver);
  for (const auto& [key, value] : pairs) {
    if (!ok) break;
    if (strcasecmp(key.c_str(), "DSN") == 0 || strcasecmp(key.c_str(), "Driver") == 0) continue;
    ok = installer.writePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini");
  }
  installer.setConfigMode(kBothModes);
  return ok;
}

}  // namespace

namespace platform {

std::string SystemDataSourceFile() {
  const Installer& installer = LoadInstaller();
  char folder[4096] = {};
  // The installer's own answer (ODBCSYSINI or its compiled-in folder); it keeps the first one
  // it gave for the rest of the process.
  if (installer.systemFilePath != nullptr && installer.systemFilePath(folder) != nullptr && folder[0] != '\0')
    return std::string(folder) + "/odbc.ini";
  const char* env = std::getenv("ODBCSYSINI");
  return std::string(env && *env ? env : "/etc") + "/odbc.ini";
}

std::string UserDataSourceFile() {
  const char* env = std::getenv("ODBCINI");
  if (env != nullptr && *env != '\0') return env;
  // The installer takes the home folder from the user database, not from $HOME.
  const passwd* user = getpwuid(getuid());
  if (user == nullptr || user->pw_dir == nullptr) return std::string();
  return std::string(user->pw_dir) + "/.odbc.ini";
}

DataSourceFile DataSourceFileFor(WORD request) {
  DataSourceFile out;
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

  const platform::DataSourceFile file = platform::DataSourceFileFor(request);
  const WORD mode = file.system ? kSystemMode : kUserMode;
  request = file.system ? ODBC_ADD_SYS_DSN : ODBC_ADD_DSN;
  if (file.error == 0) CreateIfMissing(file.path);
  if (installer.configDataSource(parent, request, driver, attributes)) return TRUE;
  // Only the missing setup routine of an installed driver is worked around; any other
  // refusal stands.
  if (InstallerErrorCode(installer) != kGeneralError || !DriverInstalled(installer, driver)) return FALSE;
  return WriteEntry(installer, mode, driver, attributes);
}

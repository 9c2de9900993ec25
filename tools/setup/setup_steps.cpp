#include "tools/setup/setup_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "frame/settings.h"
#include "platform/registry/hive_image.h"
#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/registry/registry.h"

namespace {

constexpr unsigned kOwnerFolder = 0700;
constexpr unsigned kOwnerFile = 0600;

std::string Code(DWORD rc) { return "error " + std::to_string(rc); }

// InstallPath is written only when it differs, so a second run leaves the hive's bytes alone.
bool SetInstallPath(const char* keyPath, const std::string& install, std::string& error) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    error = std::string("cannot create the key ") + keyPath + ": " + Code(static_cast<DWORD>(rc));
    return false;
  }
  char current[4096];
  DWORD size = sizeof current, type = 0;
  rc = RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<LPBYTE>(current), &size);
  if (rc != ERROR_SUCCESS || type != REG_SZ || install != current) {
    rc = RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(install.c_str()),
                        static_cast<DWORD>(install.size() + 1));
    if (rc != ERROR_SUCCESS) error = std::string("cannot write InstallPath of ") + keyPath + ": " + Code(static_cast<DWORD>(rc));
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::string ReadAll(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  ok = static_cast<bool>(in) || in.eof();
  return bytes.str();
}

// Written beside the target and renamed over it, so a Corvane starting it meanwhile finds the
// old program or the new one, whole.
bool ReplaceProgram(const std::string& target, const std::string& bytes, std::string& error) {
  std::string temp = target + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0755);
  bool ok = fd >= 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
  int saved = errno;
  if (fd >= 0) ::close(fd);
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    error = "cannot install " + target + ": " + std::strerror(errno ? errno : saved);
    ::unlink(temp.c_str());
  }
  return ok;
}

}  // namespace

bool CreateNetworkFolder(const SetupOptions& options, std::string& error) {
  if (DWORD rc = platform::MakeFolders(options.network, 0755)) {
    error = "cannot create the network folder " + options.network + ": " + Code(rc);
    return false;
  }
  return true;
}

bool CreateLocalComputer(const SetupOptions& options, std::string& error) {
  platform::ImageSpec spec;
  spec.name = options.computer;
  spec.host.domain = options.domain;
  spec.host.role = "workstation";
  spec.folderMode = kOwnerFolder;
  spec.fileMode = kOwnerFile;
  if (DWORD rc = platform::BuildComputerImage(spec)) {
    error = "cannot create the image of " + options.computer + ": " + Code(rc);
    return false;
  }
  // An image made before by other means may be open to everyone: the folder closes it all.
  platform::ComputerImage image;
  if (platform::FindComputer(options.computer, image) == ERROR_SUCCESS) {
    struct stat st;
    if (::stat(image.root.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(image.root.c_str(), kOwnerFolder);
  }
  return true;
}

bool CreateInstallFolder(const SetupOptions& options, std::string& error) {
  if (DWORD rc = platform::MakeFolders(options.install, 0755)) {
    error = "cannot create the install folder " + options.install + ": " + Code(rc);
    return false;
  }
  return true;
}

bool InstallSourcewarden(const SetupOptions& options, const std::string& program, std::string& error) {
  bool read = false;
  std::string bytes = ReadAll(program, read);
  if (!read || bytes.empty()) {
    error = "the data-source manager " + program + " is not built";
    return false;
  }
  std::string target = options.install + "/sourcewarden";
  bool there = false;
  if (ReadAll(target, there) == bytes && there) return true;
  return ReplaceProgram(target, bytes, error);
}

bool CreateSettingsKeys(const SetupOptions& options, std::string& error) {
  return SetInstallPath(kCorvaneSettingsKey, options.install, error) &&
         SetInstallPath(kPraxonSettingsKey, options.install, error);
}

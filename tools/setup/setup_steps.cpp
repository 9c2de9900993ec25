#include "tools/setup/setup_steps.h"

#include <sys/stat.h>

#include <cstdio>
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

struct HelpPage {
  const char* name;
  const char* text;
};
constexpr HelpPage kHelpPages[] = {
#include "tools/setup/help_pages.inc"
};

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : std::string();
}

}  // namespace

bool CreateHelpPages(const SetupOptions& options, std::string& error) {
  const std::string folder = options.install + "/help";
  if (DWORD rc = platform::MakeFolders(folder, 0755)) {
    error = "cannot create the help folder " + folder + ": " + Code(rc);
    return false;
  }
  for (const HelpPage& page : kHelpPages) {
    const std::string path = folder + "/" + page.name;
    if (FileText(path) == page.text) continue;
    // Written beside the page and renamed over it: a reader never finds half a page.
    const std::string tmp = path + ".new";
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << page.text;
    out.close();
    if (!out || std::rename(tmp.c_str(), path.c_str()) != 0) {
      std::remove(tmp.c_str());
      error = "cannot write the help page " + path;
      return false;
    }
  }
  return true;
}

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

bool CreateSettingsKeys(const SetupOptions& options, std::string& error) {
  return SetInstallPath(kCorvaneSettingsKey, options.install, error) &&
         SetInstallPath(kPraxonSettingsKey, options.install, error);
}
